#include "console/configure_areas_dialog.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

constexpr int kRegisterFunctionBoxes[kRegisterFunctionCount] = {1214, 1215, 1216, 1217, 1218};
constexpr int kCoilFunctionBoxes[kCoilFunctionCount] = {1221, 1222, 1223};
constexpr int kRegisterStartBox = 1219;
constexpr int kRegisterSizeBox = 1220;
constexpr int kCoilStartBox = 1226;
constexpr int kCoilSizeBox = 1227;

// The box the operator is sent to: an unreadable number's own box; after a failed range check
// the size box, also when the start was the culprit.
int BoxOf(DataAreaField field)
{
    switch (field) {
    case DataAreaField::RegisterStart:
        return kRegisterStartBox;
    case DataAreaField::RegisterSize:
        return kRegisterSizeBox;
    case DataAreaField::CoilStart:
        return kCoilStartBox;
    case DataAreaField::CoilSize:
    case DataAreaField::None:
        break;
    }
    return kCoilSizeBox;
}

}  // namespace

ConfigureAreasDialog::ConfigureAreasDialog(QWidget* owner) : TemplateDialog(kConfigureAreasTemplate, owner)
{
    ShowSettings(ReadDataAreaSettings());
    Control(kOkCommand)->setFocus();
}

void ConfigureAreasDialog::ShowSettings(const DataAreaSettings& settings)
{
    ControlOf<QLineEdit>(kRegisterStartBox)->setText(QString::number(settings.registerStart));
    ControlOf<QLineEdit>(kRegisterSizeBox)->setText(QString::number(settings.registerSize));
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        ControlOf<QCheckBox>(kRegisterFunctionBoxes[i])->setChecked(settings.registerFunctions[i]);
    }
    ControlOf<QLineEdit>(kCoilStartBox)->setText(QString::number(settings.coilStart));
    ControlOf<QLineEdit>(kCoilSizeBox)->setText(QString::number(settings.coilSize));
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        ControlOf<QCheckBox>(kCoilFunctionBoxes[i])->setChecked(settings.coilFunctions[i]);
    }
}

bool ConfigureAreasDialog::CheckAndApply()
{
    const QByteArray registerStart = ControlOf<QLineEdit>(kRegisterStartBox)->text().toLatin1();
    const QByteArray registerSize = ControlOf<QLineEdit>(kRegisterSizeBox)->text().toLatin1();
    const QByteArray coilStart = ControlOf<QLineEdit>(kCoilStartBox)->text().toLatin1();
    const QByteArray coilSize = ControlOf<QLineEdit>(kCoilSizeBox)->text().toLatin1();
    DataAreaSettings settings{};
    DataAreaCheck check = ReadDataAreaNumbers(
        DataAreaTexts{registerStart.constData(), registerSize.constData(), coilStart.constData(), coilSize.constData()},
        &settings);
    if (check.failedField == DataAreaField::None) {
        check = CheckDataAreaSettings(settings);
    }
    if (check.failedField != DataAreaField::None) {
        WarnOperator(check.message, BoxOf(check.failedField));
        return false;
    }
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        settings.registerFunctions[i] = ControlOf<QCheckBox>(kRegisterFunctionBoxes[i])->isChecked();
    }
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        settings.coilFunctions[i] = ControlOf<QCheckBox>(kCoilFunctionBoxes[i])->isChecked();
    }
    ApplyDataAreaSettings(settings);
    return true;
}

void ConfigureAreasDialog::OnCommand(int controlId)
{
    if (controlId == kOkCommand) {
        if (CheckAndApply()) {
            done(kOkCommand);
        }
    } else if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}
