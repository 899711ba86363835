#include "console/edit_values_dialog.h"

#include <QLabel>
#include <QLineEdit>

#include "console/edit_value_text.h"
#include "console/main_window.h"
#include "console/view_position.h"
#include "tables/address_window.h"

namespace {

constexpr int kFirstRowLabel = 1400;
constexpr int kFirstValueBox = 3000;

int32_t ViewStart(DataTable table)
{
    return ViewStartOf(table).load(std::memory_order_relaxed);
}

}  // namespace

EditValuesDialog::EditValuesDialog(MainWindow* owner) : TemplateDialog(kEditValuesTemplate, owner), owner(owner)
{
    const DataTable table = owner->ShownTable();
    setWindowTitle(QString::fromLatin1(NamesOf(table).editCaption));
    const int32_t start = ViewStart(table);
    for (int row = 0; row < kGridRows; ++row) {
        ControlOf<QLabel>(kFirstRowLabel + row)->setText(QString::number(static_cast<uint32_t>(start + kGridColumns * row)));
    }
    for (int i = 0; i < kGridCells; ++i) {
        Control(kFirstValueBox + i)->setEnabled(static_cast<int64_t>(start) + i < kTableSize);
    }
    Control(kOkCommand)->setFocus();
}

void EditValuesDialog::OnCommand(int controlId)
{
    if (controlId == kOkCommand) {
        if (WriteTypedValues()) {
            done(kOkCommand);
        }
    } else if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}

bool EditValuesDialog::WriteTypedValues()
{
    const DataTable table = owner->ShownTable();
    const int32_t start = ViewStart(table);
    QByteArray typed[kGridCells];
    const char* texts[kGridCells];
    for (int i = 0; i < kGridCells; ++i) {
        typed[i] = ControlOf<QLineEdit>(kFirstValueBox + i)->text().toLatin1();
        texts[i] = typed[i].constData();
    }
    const EditValuesReading reading = ReadEditValues(texts, table, start);
    if (reading.refusedBox >= 0) {
        WarnOperator(reading.message, kFirstValueBox + reading.refusedBox);
        return false;
    }
    for (int i = 0; i < kGridCells; ++i) {
        if (!reading.filled[i]) {
            continue;
        }
        PokeTableCell(table, static_cast<uint32_t>(start + i), reading.values[i]);
    }
    return true;
}
