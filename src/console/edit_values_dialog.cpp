#include "console/edit_values_dialog.h"

#include <QLabel>
#include <QLineEdit>

#include "console/edit_value_text.h"
#include "console/main_window.h"
#include "console/view_position.h"
#include "tables/address_window.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

constexpr int kFirstRowLabel = 1400;
constexpr int kFirstValueBox = 3000;

int32_t ViewStart(bool registers)
{
    return registers ? RegisterViewStart.load(std::memory_order_relaxed)
                     : CoilViewStart.load(std::memory_order_relaxed);
}

}  // namespace

EditValuesDialog::EditValuesDialog(MainWindow* owner) : TemplateDialog(kEditValuesTemplate, owner), owner(owner)
{
    const bool registers = owner->RegistersShown();
    setWindowTitle(registers ? QStringLiteral("Edit Register Values") : QStringLiteral("Edit Coil Values"));
    const int32_t start = ViewStart(registers);
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
    const bool registers = owner->RegistersShown();
    const int32_t start = ViewStart(registers);
    QByteArray typed[kGridCells];
    const char* texts[kGridCells];
    for (int i = 0; i < kGridCells; ++i) {
        typed[i] = ControlOf<QLineEdit>(kFirstValueBox + i)->text().toLatin1();
        texts[i] = typed[i].constData();
    }
    const EditValuesReading reading = ReadEditValues(texts, registers, start);
    if (reading.refusedBox >= 0) {
        WarnOperator(reading.message, kFirstValueBox + reading.refusedBox);
        return false;
    }
    for (int i = 0; i < kGridCells; ++i) {
        if (!reading.filled[i]) {
            continue;
        }
        const uint32_t address = static_cast<uint32_t>(start + i);
        if (registers) {
            PokeRegisters(address, 1, &reading.values[i]);
        } else {
            const uint8_t coil = static_cast<uint8_t>(reading.values[i]);
            PokeCoils(address, 1, &coil);
        }
    }
    return true;
}
