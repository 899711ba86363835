#include "console/configure_areas_dialog.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

// The boxes of one table's column in template 116.
struct TableBoxes {
    int functionBoxes[kMostTableFunctions];   // in FunctionCodesOf order
    int startBox;
    int sizeBox;
};

// By DataTable.
constexpr TableBoxes kTableBoxes[kDataTableCount] = {
    {{1221, 1222, 1223}, 1226, 1227},
    {{1228}, 1229, 1230},
    {{1231}, 1232, 1233},
    {{1214, 1215, 1216, 1217, 1218}, 1219, 1220},
};

const TableBoxes& BoxesOf(DataTable table)
{
    return kTableBoxes[static_cast<int>(table)];
}

// The box the operator is sent to: an unreadable number's own box; after a failed range check
// the size box, also when the start was the culprit.
int BoxOf(const DataAreaCheck& check)
{
    return check.failedBox == DataAreaBox::Start ? BoxesOf(check.failedTable).startBox
                                                 : BoxesOf(check.failedTable).sizeBox;
}

}  // namespace

ConfigureAreasDialog::ConfigureAreasDialog(QWidget* owner) : TemplateDialog(kConfigureAreasTemplate, owner)
{
    ShowSettings(ReadDataAreaSettings());
    Control(kOkCommand)->setFocus();
}

void ConfigureAreasDialog::ShowSettings(const DataAreaSettings& settings)
{
    for (DataTable table : kDataTables) {
        const TableAreaSettings& area = settings.tables[static_cast<int>(table)];
        const TableBoxes& boxes = BoxesOf(table);
        ControlOf<QLineEdit>(boxes.startBox)->setText(QString::number(area.start));
        ControlOf<QLineEdit>(boxes.sizeBox)->setText(QString::number(area.size));
        for (size_t i = 0; i < FunctionCodesOf(table).size(); ++i) {
            ControlOf<QCheckBox>(boxes.functionBoxes[i])->setChecked(area.functions[i]);
        }
    }
}

bool ConfigureAreasDialog::CheckAndApply()
{
    QByteArray typed[2 * kDataTableCount];
    DataAreaTexts texts{};
    for (DataTable table : kDataTables) {
        const int index = static_cast<int>(table);
        typed[2 * index] = ControlOf<QLineEdit>(BoxesOf(table).startBox)->text().toLatin1();
        typed[2 * index + 1] = ControlOf<QLineEdit>(BoxesOf(table).sizeBox)->text().toLatin1();
        texts.start[index] = typed[2 * index].constData();
        texts.size[index] = typed[2 * index + 1].constData();
    }
    DataAreaSettings settings{};
    DataAreaCheck check = ReadDataAreaNumbers(texts, &settings);
    if (check.failedBox == DataAreaBox::None) {
        check = CheckDataAreaSettings(settings);
    }
    if (check.failedBox != DataAreaBox::None) {
        WarnOperator(check.message, BoxOf(check));
        return false;
    }
    for (DataTable table : kDataTables) {
        TableAreaSettings& area = settings.tables[static_cast<int>(table)];
        for (size_t i = 0; i < FunctionCodesOf(table).size(); ++i) {
            area.functions[i] = ControlOf<QCheckBox>(BoxesOf(table).functionBoxes[i])->isChecked();
        }
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
