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

QString FormatName(ValueFormat format)
{
    QString name = QString::fromLatin1(ValueTextKindName(format.kind));
    if (ValueTextUsesOrder(format.kind)) {
        name += QLatin1Char(' ') + QString::fromLatin1(ValueOrderName(format.order));
    }
    return name;
}

}  // namespace

EditValuesDialog::EditValuesDialog(MainWindow* owner) : TemplateDialog(kEditValuesTemplate, owner), owner(owner)
{
    const DataTable table = owner->ShownTable();
    const ValueFormat format = owner->ShownFormat();
    QString caption = QString::fromLatin1(NamesOf(table).editCaption);
    if (format.kind != kPlainFormat.kind) {
        caption += QStringLiteral(" (%1)").arg(FormatName(format));
    }
    setWindowTitle(caption);
    const int32_t start = ViewStart(table);
    for (int row = 0; row < kGridRows; ++row) {
        ControlOf<QLabel>(kFirstRowLabel + row)->setText(QString::number(static_cast<uint32_t>(start + kGridColumns * row)));
    }
    LayOutBoxes(format, start);
    Control(kOkCommand)->setFocus();
}

// As in the grid, a value of several registers gets one box over its cells in the row; the boxes
// of cells it carries into the next row show the continuation mark and take nothing, and so does
// the box of a value that would run past the table's end.
void EditValuesDialog::LayOutBoxes(ValueFormat format, int32_t start)
{
    const int count = ValueTextRegisterCount(format.kind);
    QRect places[kGridCells];
    for (int i = 0; i < kGridCells; ++i) {
        places[i] = Control(kFirstValueBox + i)->geometry();
    }
    for (int i = 0; i < kGridCells; ++i) {
        auto* box = ControlOf<QLineEdit>(kFirstValueBox + i);
        const int span = GridCellSpan(count, i);
        if (span > 1) {
            box->setGeometry(places[i].united(places[i + span - 1]));
        }
        box->setVisible(span != 0);
        box->setEnabled(EditBoxTakesValue(format, start, i));
        if (span < 0) {
            box->setPlaceholderText(QString::fromLatin1(kContinuationMark));
        }
        SetDigitsOnly(box, format.kind == ValueTextKind::kUnsigned);
    }
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
    const EditValuesReading reading = ReadEditValues(texts, table, start, owner->ShownFormat());
    if (reading.refusedBox >= 0) {
        WarnOperator(reading.message, kFirstValueBox + reading.refusedBox);
        return false;
    }
    for (int i = 0; i < kGridCells; ++i) {
        if (!reading.filled[i]) {
            continue;
        }
        const uint32_t address = static_cast<uint32_t>(start + i);
        if (HoldsBits(table)) {
            PokeTableCell(table, address, reading.values[i]);
        } else {
            PokeTableRegisters(table, address, static_cast<uint32_t>(reading.registerCount), &reading.values[i]);
        }
    }
    return true;
}
