#include "console/configure_areas_dialog.h"

#include <QCheckBox>
#include <QLineEdit>

#include "console/dialog_number.h"

namespace {

constexpr int kRegisterFunctionBoxes[kRegisterFunctionCount] = {1214, 1215, 1216, 1217, 1218};
constexpr int kCoilFunctionBoxes[kCoilFunctionCount] = {1221, 1222, 1223};
constexpr int kRegisterStartBox = 1219;
constexpr int kRegisterSizeBox = 1220;
constexpr int kCoilStartBox = 1226;
constexpr int kCoilSizeBox = 1227;

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

DataAreaSettings ConfigureAreasDialog::TypedSettings() const
{
    auto number = [this](int box) { return ReadUnsignedNumber(ControlOf<QLineEdit>(box)->text().toLatin1().constData()); };
    DataAreaSettings settings{};
    settings.registerStart = number(kRegisterStartBox);
    settings.registerSize = number(kRegisterSizeBox);
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        settings.registerFunctions[i] = ControlOf<QCheckBox>(kRegisterFunctionBoxes[i])->isChecked();
    }
    settings.coilStart = number(kCoilStartBox);
    settings.coilSize = number(kCoilSizeBox);
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        settings.coilFunctions[i] = ControlOf<QCheckBox>(kCoilFunctionBoxes[i])->isChecked();
    }
    return settings;
}

bool ConfigureAreasDialog::CheckAndApply()
{
    const DataAreaSettings settings = TypedSettings();
    const DataAreaCheck check = CheckDataAreaSettings(settings);
    if (check.failedField != DataAreaField::None) {
        // The size box is the one to correct, also when the start was the culprit.
        WarnOperator(check.message, check.failedField == DataAreaField::RegisterSize ? kRegisterSizeBox : kCoilSizeBox);
        return false;
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
