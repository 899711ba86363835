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
    Control(kOkCommand)->setFocus();
}

void EditValuesDialog::OnCommand(int controlId)
{
    if (controlId == kOkCommand) {
        WriteTypedValues();
        done(kOkCommand);
    } else if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}

void EditValuesDialog::WriteTypedValues()
{
    const bool registers = owner->RegistersShown();
    for (int i = 0; i < kGridCells; ++i) {
        // The box is read into an 8-character buffer: its first 7 characters count.
        const QByteArray text = ControlOf<QLineEdit>(kFirstValueBox + i)->text().left(kEditValueCharacters).toLatin1();
        int32_t value = 0;
        if (!ParseEditValue(text.constData(), &value)) {
            continue;
        }
        const int64_t address = static_cast<int64_t>(ViewStart(registers)) + i;
        if (address >= kTableSize) {
            continue;
        }
        if (registers) {
            const uint16_t cell = RegisterValueFromEdit(value);
            PokeRegisters(static_cast<uint32_t>(address), 1, &cell);
        } else {
            const uint8_t cell = CoilValueFromEdit(value);
            PokeCoils(static_cast<uint32_t>(address), 1, &cell);
        }
    }
}
