// The dialogs of the main window, opened by their buttons and answered as an operator would:
// Edit Values, Configure Data Areas, View I/O Buffers, Faults, About and the capture's file.
#include "console_fixture.h"

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "capture/capture_file.h"
#include "faults/fault_rules.h"
#include "generators/generators.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"

class ConsoleDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void editValuesWritesOnlyFilledBoxes();
    void editValuesRefusals_data();
    void editValuesRefusals();
    void editValuesCancelWritesNothing();
    void editValuesWritesTheSelectedTable_data();
    void editValuesWritesTheSelectedTable();
    void editValuesDisablesAddressesPastTheTable();
    void float32CdabIsShownAndEditedAsOneValue();
    void configureShowsTheCurrentSettings();
    void configureOkWithoutChangesKeepsEverything();
    void configureRefusals_data();
    void configureRefusals();
    void configureAppliesEveryTable();
    void configureCancelAppliesNothing();
    void configuredWindowRefusesClientsAndShowsDashes();
    void ioBuffersShowSnapshotUntilRefresh();
    void ioBuffersOfAFreeSlotStayAsTheyAre();
    void aboutShowsNameVersionAndLicence();
    void captureButtonRefusesAnUncreatableFileThenStartsAndEnds();
    void faultsChecksAsTypedAddsAndRemovesRules();
    void generatorsCheckAsTypedAddAndRemoveGenerators();
    void refreshGoesOnWhileADialogIsOpen();
    void closeRequestWhileADialogIsOpenEndsBoth();

private:
    ConsoleFixture fixture;
};

namespace {

constexpr int kCycleWaitMs = 2000;

template <class Widget>
Widget* In(QWidget* dialog, int controlId)
{
    return ControlAs<Widget>(dialog, controlId);
}

void Type(QWidget* dialog, int controlId, const QString& text)
{
    auto* edit = In<QLineEdit>(dialog, controlId);
    edit->selectAll();
    edit->del();
    QTest::keyClicks(edit, text);
}

uint16_t Register(uint32_t address)
{
    uint16_t value = 0;
    PeekRegisters(address, 1, &value);
    return value;
}

// A cell of any table, read through the core: coils, discrete inputs, input registers, holding
// registers (the DataTable order).
uint16_t Cell(int table, uint32_t address)
{
    uint8_t bit = 0;
    uint16_t value = 0;
    switch (table) {
    case 0:
        PeekCoils(address, 1, &bit);
        return bit;
    case 1:
        PeekDiscreteInputs(address, 1, &bit);
        return bit;
    case 2:
        PeekInputRegisters(address, 1, &value);
        return value;
    default:
        PeekRegisters(address, 1, &value);
        return value;
    }
}

// Every table's window, in the DataTable order, as first and last.
QList<int> Windows()
{
    void (*const getWindow[])(uint16_t*, uint16_t*) = {GetCoilWindow, GetDiscreteInputWindow, GetInputRegisterWindow,
                                                        GetRegisterWindow};
    QList<int> windows;
    for (auto* get : getWindow) {
        uint16_t first = 1;
        uint16_t last = 0;
        get(&first, &last);
        windows << first << last;
    }
    return windows;
}

const QList<int> kWholeWindows{0, 65535, 0, 65535, 0, 65535, 0, 65535};

// The table buttons of the main window, in the DataTable order.
constexpr int kTableButtons[] = {1233, 1229, 1230, 1232};

struct MessageSeen {
    bool shown = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Pre-answers the message box that the next click will raise over `dialog`.
void AnswerMessageBox(QWidget* dialog, MessageSeen* seen)
{
    WhenModalOpens(
        [seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                return;
            }
            seen->shown = true;
            seen->caption = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            seen->buttons = static_cast<int>(box->buttons().size());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        },
        dialog);
}

}  // namespace

void ConsoleDialogsTest::init()
{
    QVERIFY(fixture.SetUp());
}

void ConsoleDialogsTest::cleanup()
{
    fixture.TearDown();
}

void ConsoleDialogsTest::editValuesWritesOnlyFilledBoxes()
{
    fixture.window->SetViewPosition(100);
    for (uint32_t address = 100; address < 130; ++address) {
        const uint16_t marker = static_cast<uint16_t>(1000 + address);
        PokeRegisters(address, 1, &marker);
    }
    QString caption;
    QStringList rowLabels;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        for (int row = 0; row < 3; ++row) {
            rowLabels << In<QLabel>(dialog, 1400 + row)->text();
        }
        Type(dialog, 3000, QStringLiteral("65535"));
        Type(dialog, 3004, QStringLiteral("0"));
        In<QLineEdit>(dialog, 3015)->setText(QStringLiteral(" 12\t"));   // pasted blanks around a number
        In<QLineEdit>(dialog, 3029)->setText(QStringLiteral("   "));     // blanks only: left alone
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);

    QCOMPARE(caption, QStringLiteral("Edit Holding Register Values"));
    QCOMPARE(rowLabels, (QStringList{"100", "110", "120"}));
    QCOMPARE(Register(100), uint16_t{65535});
    QCOMPARE(Register(104), uint16_t{0});
    QCOMPARE(Register(115), uint16_t{12});
    for (uint32_t address : {101u, 105u, 114u, 116u, 129u}) {
        QCOMPARE(Register(address), static_cast<uint16_t>(1000 + address));
    }
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("65535"), kCycleWaitMs);
}

void ConsoleDialogsTest::editValuesRefusals_data()
{
    QTest::addColumn<int>("table");   // DataTable order
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString register1234 = QStringLiteral("The value for holding register 1234 must be a whole number from 0 to 65535.");
    QTest::newRow("70000 does not fit 16 bits") << 3 << 4 << "70000" << register1234;
    QTest::newRow("65536") << 3 << 4 << "65536" << register1234;
    QTest::newRow("-1 has a sign") << 3 << 4 << "-1" << register1234;
    QTest::newRow("1.5 is not whole") << 3 << 4 << "1.5" << register1234;
    QTest::newRow("eight digits are read whole") << 3 << 4 << "12345678" << register1234;
    QTest::newRow("letters after digits") << 3 << 4 << "12ab" << register1234;
    QTest::newRow("coil 5") << 0 << 7 << "5" << QStringLiteral("The value for coil 1237 must be 0 or 1.");
    QTest::newRow("discrete input 2")
        << 1 << 9 << "2" << QStringLiteral("The value for discrete input 1239 must be 0 or 1.");
    QTest::newRow("input register 65536")
        << 2 << 29 << "65536"
        << QStringLiteral("The value for input register 1259 must be a whole number from 0 to 65535.");
}

void ConsoleDialogsTest::editValuesRefusals()
{
    QFETCH(int, table);
    QFETCH(int, box);
    QFETCH(QString, text);
    QTest::mouseClick(fixture.window->Control(kTableButtons[table]), Qt::LeftButton);
    fixture.window->SetViewPosition(1230);
    MessageSeen seen;
    bool stayedOpen = false;
    QString focusAfter;
    WhenModalOpens([&](QWidget* dialog) {
        QApplication::setActiveWindow(dialog);
        Type(dialog, 3000, QStringLiteral("1"));   // a good box before the refused one is not written either
        In<QLineEdit>(dialog, 3000 + box)->setText(text);
        AnswerMessageBox(dialog, &seen);
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
        stayedOpen = dialog->isVisible();
        focusAfter = dialog->focusWidget() != nullptr ? dialog->focusWidget()->objectName() : QStringLiteral("none");
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);

    QVERIFY(seen.shown);
    QCOMPARE(seen.caption, QStringLiteral("Parvane"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, 1);
    QTEST(seen.text, "message");
    QVERIFY(stayedOpen);
    QCOMPARE(focusAfter, QString::number(3000 + box));
    for (uint32_t address = 1230; address < 1260; ++address) {
        QCOMPARE(Cell(table, address), uint16_t{0});
    }
}

void ConsoleDialogsTest::editValuesCancelWritesNothing()
{
    bool emptyOnReopen = false;
    WhenModalOpens([](QWidget* dialog) {
        Type(dialog, 3000, QStringLiteral("5"));
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QCOMPARE(Register(0), uint16_t{0});

    // Escape cancels as well, and the boxes open empty every time.
    WhenModalOpens([&emptyOnReopen](QWidget* dialog) {
        emptyOnReopen = In<QLineEdit>(dialog, 3000)->text().isEmpty();
        Type(dialog, 3000, QStringLiteral("6"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QVERIFY(emptyOnReopen);
    QCOMPARE(Register(0), uint16_t{0});
}

void ConsoleDialogsTest::editValuesWritesTheSelectedTable_data()
{
    QTest::addColumn<int>("table");   // DataTable order
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("high");   // the highest value a cell of the table takes
    QTest::newRow("coils") << 0 << "Edit Coil Values" << "1";
    QTest::newRow("discrete inputs") << 1 << "Edit Discrete Input Values" << "1";
    QTest::newRow("input registers") << 2 << "Edit Input Register Values" << "65535";
}

void ConsoleDialogsTest::editValuesWritesTheSelectedTable()
{
    QFETCH(int, table);
    QFETCH(QString, high);
    QTest::mouseClick(fixture.window->Control(kTableButtons[table]), Qt::LeftButton);
    fixture.window->SetViewPosition(40);
    QString caption;
    QString firstRow;
    MessageSeen refusal;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        firstRow = In<QLabel>(dialog, 1400)->text();
        Type(dialog, 3000, high);
        Type(dialog, 3001, QStringLiteral("0"));
        Type(dialog, 3029, high);
        AnswerMessageBox(dialog, &refusal);
        QTest::keyClick(In<QLineEdit>(dialog, 3029), Qt::Key_Return);   // Enter is OK
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QVERIFY2(!refusal.shown, qPrintable(refusal.text));
    QTEST(caption, "caption");
    QCOMPARE(firstRow, QStringLiteral("40"));
    for (int other = 0; other < 4; ++other) {
        const uint16_t expected = other == table ? static_cast<uint16_t>(high.toUInt()) : uint16_t{0};
        QCOMPARE(Cell(other, 40), expected);
        QCOMPARE(Cell(other, 41), uint16_t{0});
        QCOMPARE(Cell(other, 69), expected);
    }
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), high, kCycleWaitMs);
}

void ConsoleDialogsTest::editValuesDisablesAddressesPastTheTable()
{
    fixture.window->SetViewPosition(65535);   // lands on 65,510
    QList<bool> enabled;
    WhenModalOpens([&enabled](QWidget* dialog) {
        for (int i = 0; i < 30; ++i) {
            enabled << In<QLineEdit>(dialog, 3000 + i)->isEnabled();
            Type(dialog, 3000 + i, QStringLiteral("7"));
        }
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QCOMPARE(enabled.mid(24), (QList<bool>{true, true, false, false, false, false}));
    QCOMPARE(Register(65510), uint16_t{7});
    QCOMPARE(Register(65535), uint16_t{7});
    QCOMPARE(Register(0), uint16_t{0});   // nothing wrapped round to the start
    QCOMPARE(Register(3), uint16_t{0});
}

void ConsoleDialogsTest::float32CdabIsShownAndEditedAsOneValue()
{
    const uint16_t pi[2] = {0xF5C3, 0x4048};   // 3.14f, 0x4048F5C3, words swapped
    PokeRegisters(100, 2, pi);
    fixture.window->SetViewPosition(100);
    auto* formatList = qobject_cast<QComboBox*>(fixture.window->Control(1260));
    auto* orderList = qobject_cast<QComboBox*>(fixture.window->Control(1261));
    QVERIFY(!orderList->isEnabled());   // unsigned has no order
    formatList->setCurrentIndex(formatList->findText(QStringLiteral("float32")));
    orderList->setCurrentIndex(orderList->findText(QStringLiteral("CDAB")));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("3.14"), kCycleWaitMs);
    QVERIFY(!fixture.window->Control(1180)->isVisible());   // the value's second cell is in its box

    // The format belongs to the table: the input registers keep theirs, the coils have none.
    QTest::mouseClick(fixture.window->Control(kTableButtons[2]), Qt::LeftButton);
    QCOMPARE(formatList->currentText(), QStringLiteral("unsigned"));
    QTest::mouseClick(fixture.window->Control(kTableButtons[0]), Qt::LeftButton);
    QVERIFY(!formatList->isEnabled());
    QTest::mouseClick(fixture.window->Control(kTableButtons[3]), Qt::LeftButton);
    QCOMPARE(formatList->currentText() + QLatin1Char(' ') + orderList->currentText(), QStringLiteral("float32 CDAB"));

    MessageSeen refusal;
    MessageSeen none;
    bool secondBoxShown = true;
    WhenModalOpens([&](QWidget* dialog) {
        QApplication::setActiveWindow(dialog);
        secondBoxShown = In<QLineEdit>(dialog, 3001)->isVisible();
        Type(dialog, 3000, QStringLiteral("-2.5"));
        Type(dialog, 3002, QStringLiteral("3.5e38"));   // past float32's largest
        AnswerMessageBox(dialog, &refusal);
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
        QCOMPARE(Register(100), uint16_t{0xF5C3});   // nothing written yet
        Type(dialog, 3002, QStringLiteral("1e3"));
        AnswerMessageBox(dialog, &none);
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QVERIFY(!secondBoxShown);
    QCOMPARE(refusal.text, QStringLiteral("The value for holding register 102 must be a number from -3.4028235e+38 to "
                                          "3.4028235e+38."));
    QVERIFY2(!none.shown, qPrintable(none.text));
    const QList<uint16_t> expected{0x0000, 0xC020, 0x0000, 0x447A};   // -2.5f and 1000.0f, words swapped
    QList<uint16_t> written;
    for (uint32_t address = 100; address < 104; ++address) {
        written << Register(address);
    }
    QCOMPARE(written, expected);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("-2.5"), kCycleWaitMs);
}

void ConsoleDialogsTest::configureShowsTheCurrentSettings()
{
    SetRegisterWindow(100, 199);
    SetCoilWindow(65535, 65535);
    SetDiscreteInputWindow(7, 8);
    SetInputRegisterWindow(0, 9);
    SetFunctionEnabled(16, false);
    SetFunctionEnabled(5, false);
    SetFunctionEnabled(2, false);
    QStringList boxes;
    QList<bool> checks;
    WhenModalOpens([&](QWidget* dialog) {
        for (int id : {1226, 1227, 1229, 1230, 1232, 1233, 1219, 1220}) {
            boxes << In<QLineEdit>(dialog, id)->text();
        }
        for (int id : {1221, 1222, 1223, 1228, 1231, 1214, 1215, 1216, 1217, 1218}) {
            checks << In<QCheckBox>(dialog, id)->isChecked();
        }
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(boxes, (QStringList{"65535", "1", "7", "2", "0", "10", "100", "100"}));
    QCOMPARE(checks, (QList<bool>{true, false, true, false, true, true, true, false, true, true}));
}

void ConsoleDialogsTest::configureOkWithoutChangesKeepsEverything()
{
    SetFunctionEnabled(4, false);
    QString caption;
    WhenModalOpens([&caption](QWidget* dialog) {
        caption = dialog->windowTitle();
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Configure Data Areas"));
    QCOMPARE(Windows(), kWholeWindows);
    for (uint8_t code : {1, 2, 3, 5, 6, 15, 16, 22, 23}) {
        QVERIFY(IsFunctionEnabled(code));
    }
    QVERIFY(!IsFunctionEnabled(4));
}

void ConsoleDialogsTest::configureRefusals_data()
{
    // Starts and sizes by column: coils, discrete inputs, input registers, holding registers.
    QTest::addColumn<QStringList>("starts");
    QTest::addColumn<QStringList>("sizes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("focusBox");
    const QString zero = QStringLiteral("Size must be greater than zero.");
    const QString exceed = QStringLiteral("Starting Address plus Size cannot exceed 65536.");
    const QString unreadable = QStringLiteral("%1: the %2 must be a whole number from 0 to 4294967295.");
    auto row = [](const char* name, const QStringList& starts, const QStringList& sizes, const QString& message,
                  int focusBox) { QTest::newRow(name) << starts << sizes << message << focusBox; };
    row("register size 0", {"0", "0", "0", "5"}, {"10", "10", "10", "0"}, zero, 1220);
    row("register size empty", {"0", "0", "0", "5"}, {"10", "10", "10", ""}, zero, 1220);
    row("register start past 32 bits is not another start", {"0", "0", "0", "4294967306"}, {"10", "10", "10", "1"},
        unreadable.arg("Holding Registers", "starting address"), 1219);
    row("register size letters", {"0", "0", "0", "5"}, {"10", "10", "10", "abc"},
        unreadable.arg("Holding Registers", "size"), 1220);
    row("coil start pasted letters", {"1x", "0", "0", "5"}, {"10", "10", "10", "10"}, unreadable.arg("Coils", "starting address"),
        1226);
    row("coil size past 32 bits", {"0", "0", "0", "5"}, {"4294967296", "10", "10", "10"}, unreadable.arg("Coils", "size"),
        1227);
    row("discrete input start letters", {"0", "a", "0", "5"}, {"10", "10", "10", "10"},
        unreadable.arg("Discrete Inputs", "starting address"), 1229);
    row("input register size negative", {"0", "0", "0", "5"}, {"10", "10", "-1", "10"},
        unreadable.arg("Input Registers", "size"), 1233);
    row("unreadable input register start before a register range check", {"0", "0", "x", "70000"}, {"10", "10", "10", "1"},
        unreadable.arg("Input Registers", "starting address"), 1232);
    row("register 65535 + 2", {"0", "0", "0", "65535"}, {"10", "10", "10", "2"}, exceed, 1220);
    row("register start 70000 blames the size box", {"0", "0", "0", "70000"}, {"10", "10", "10", "1"}, exceed, 1220);
    row("register size near 2^32", {"0", "0", "0", "10"}, {"10", "10", "10", "4294967290"}, exceed, 1220);
    row("coil size 0 after valid registers", {"0", "0", "0", "5"}, {"0", "10", "10", "10"}, zero, 1227);
    row("coil range past the table", {"65000", "0", "0", "5"}, {"537", "10", "10", "10"}, exceed, 1227);
    row("discrete input size 0", {"0", "0", "0", "5"}, {"10", "0", "10", "10"}, zero, 1230);
    row("input register range past the table", {"0", "0", "65535", "5"}, {"10", "10", "2", "10"}, exceed, 1233);
}

void ConsoleDialogsTest::configureRefusals()
{
    QFETCH(QStringList, starts);
    QFETCH(QStringList, sizes);
    const int startBoxes[] = {1226, 1229, 1232, 1219};
    const int sizeBoxes[] = {1227, 1230, 1233, 1220};
    MessageSeen seen;
    // The focused control's identifier, taken while the dialog still exists.
    QString focusAfter;
    bool stayedOpen = false;
    WhenModalOpens([&](QWidget* dialog) {
        QApplication::setActiveWindow(dialog);
        // Set as pasted: typing into the start boxes takes digits only.
        for (int k = 0; k < 4; ++k) {
            In<QLineEdit>(dialog, startBoxes[k])->setText(starts[k]);
            In<QLineEdit>(dialog, sizeBoxes[k])->setText(sizes[k]);
        }
        QTest::mouseClick(In<QCheckBox>(dialog, 1214), Qt::LeftButton);   // unchecked, never applied
        QTest::mouseClick(In<QCheckBox>(dialog, 1228), Qt::LeftButton);
        AnswerMessageBox(dialog, &seen);
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
        stayedOpen = dialog->isVisible();
        focusAfter = dialog->focusWidget() != nullptr ? dialog->focusWidget()->objectName() : QStringLiteral("none");
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);

    QVERIFY(seen.shown);
    QCOMPARE(seen.caption, QStringLiteral("Parvane"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QTEST(seen.text, "message");
    QVERIFY(stayedOpen);
    QFETCH(int, focusBox);
    QCOMPARE(focusAfter, QString::number(focusBox));
    // Nothing applied, for any table.
    QCOMPARE(Windows(), kWholeWindows);
    QVERIFY(IsFunctionEnabled(3));
    QVERIFY(IsFunctionEnabled(2));
}

void ConsoleDialogsTest::configureAppliesEveryTable()
{
    bool closed = false;
    WhenModalOpens([&closed](QWidget* dialog) {
        Type(dialog, 1219, QStringLiteral("65535"));
        Type(dialog, 1220, QStringLiteral("1"));
        QTest::mouseClick(In<QCheckBox>(dialog, 1214), Qt::LeftButton);   // FC 03 off
        QTest::mouseClick(In<QCheckBox>(dialog, 1217), Qt::LeftButton);   // FC 22 off
        Type(dialog, 1226, QStringLiteral("10"));
        Type(dialog, 1227, QStringLiteral("20"));
        QTest::mouseClick(In<QCheckBox>(dialog, 1223), Qt::LeftButton);   // FC 15 off
        Type(dialog, 1229, QStringLiteral("0"));
        Type(dialog, 1230, QStringLiteral("1"));
        QTest::mouseClick(In<QCheckBox>(dialog, 1228), Qt::LeftButton);   // FC 02 off
        Type(dialog, 1232, QStringLiteral("30000"));
        Type(dialog, 1233, QStringLiteral("35536"));
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
        closed = !dialog->isVisible();
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QVERIFY(closed);
    QCOMPARE(Windows(), (QList<int>{10, 29, 0, 0, 30000, 65535, 65535, 65535}));
    for (uint8_t code : {2, 3, 15, 22}) {
        QVERIFY2(!IsFunctionEnabled(code), qPrintable(QString::number(code)));
    }
    for (uint8_t code : {1, 4, 5, 6, 16, 23}) {
        QVERIFY2(IsFunctionEnabled(code), qPrintable(QString::number(code)));
    }

    // Start 0 with size 65536 restores the whole table; a box checked again enables its code.
    WhenModalOpens([](QWidget* dialog) {
        Type(dialog, 1219, QStringLiteral("0"));
        Type(dialog, 1220, QStringLiteral("65536"));
        QTest::mouseClick(In<QCheckBox>(dialog, 1228), Qt::LeftButton);   // FC 02 on
        QTest::mouseClick(In<QCheckBox>(dialog, 1231), Qt::LeftButton);   // FC 04 off
        QTest::keyClick(In<QLineEdit>(dialog, 1220), Qt::Key_Return);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(Windows(), (QList<int>{10, 29, 0, 0, 30000, 65535, 0, 65535}));
    QVERIFY(IsFunctionEnabled(2));
    QVERIFY(!IsFunctionEnabled(4));
}

void ConsoleDialogsTest::configureCancelAppliesNothing()
{
    WhenModalOpens([](QWidget* dialog) {
        Type(dialog, 1220, QStringLiteral("5"));
        QTest::mouseClick(In<QCheckBox>(dialog, 1221), Qt::LeftButton);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    uint16_t first = 1;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    QCOMPARE(last, uint16_t{65535});
    QVERIFY(IsFunctionEnabled(1));
}

void ConsoleDialogsTest::configuredWindowRefusesClientsAndShowsDashes()
{
    WhenModalOpens([](QWidget* dialog) {
        Type(dialog, 1219, QStringLiteral("100"));
        Type(dialog, 1220, QStringLiteral("100"));
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);

    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    uint16_t values[2];
    QCOMPARE(client.ReadRegisters(100, 2, values), 2);
    QCOMPARE(client.ReadRegisters(99, 2, values), -1);   // Illegal Data Address
    fixture.window->SetViewPosition(90);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("----"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1179 + 10), QStringLiteral("0"));

    QStringList reopened;
    WhenModalOpens([&reopened](QWidget* dialog) {
        reopened << In<QLineEdit>(dialog, 1219)->text() << In<QLineEdit>(dialog, 1220)->text();
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(reopened, (QStringList{"100", "100"}));
}

void ConsoleDialogsTest::ioBuffersShowSnapshotUntilRefresh()
{
    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    uint16_t values[10];
    QCOMPARE(client.ReadRegisters(0, 10, values), 10);

    QString caption;
    QStringList atOpen;
    QStringList beforeRefresh;
    QStringList afterRefresh;
    QStringList afterDisconnect;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        auto texts = [dialog] {
            return QStringList{In<QPlainTextEdit>(dialog, 1241)->toPlainText(),
                               In<QPlainTextEdit>(dialog, 1242)->toPlainText()};
        };
        atOpen = texts();
        uint16_t more[2];
        client.ReadRegisters(0, 2, more);
        beforeRefresh = texts();
        QTest::mouseClick(In<QPushButton>(dialog, 1244), Qt::LeftButton);
        afterRefresh = texts();
        client.Close();
        QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1901), QString(), kCycleWaitMs);
        QTest::mouseClick(In<QPushButton>(dialog, 1244), Qt::LeftButton);
        afterDisconnect = texts();
        QTest::keyClick(dialog, Qt::Key_Return);   // "Done" is the default button
    });
    QTest::mouseClick(fixture.window->Control(1242), Qt::LeftButton);

    QCOMPARE(caption, QStringLiteral("View I/O Buffers"));
    QCOMPARE(atOpen.value(0), QStringLiteral("00 01 00 00 00 06 01 03 00 00 00 0A "));
    QVERIFY(atOpen.value(1).startsWith(QStringLiteral("00 01 00 00 00 17 01 03 14 ")));
    QCOMPARE(beforeRefresh, atOpen);
    QCOMPARE(afterRefresh.value(0), QStringLiteral("00 02 00 00 00 06 01 03 00 00 00 02 "));
    QCOMPARE(afterRefresh.value(1), QStringLiteral("00 02 00 00 00 07 01 03 04 00 00 00 00 "));
    QCOMPARE(afterDisconnect, afterRefresh);
}

void ConsoleDialogsTest::ioBuffersOfAFreeSlotStayAsTheyAre()
{
    QTest::mouseClick(fixture.window->Control(1225), Qt::LeftButton);   // "&4 >", free
    QStringList texts;
    WhenModalOpens([&texts](QWidget* dialog) {
        QTest::mouseClick(In<QPushButton>(dialog, 1244), Qt::LeftButton);
        texts << In<QPlainTextEdit>(dialog, 1241)->toPlainText() << In<QPlainTextEdit>(dialog, 1242)->toPlainText();
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1242), Qt::LeftButton);
    QCOMPARE(texts, (QStringList{QString(), QString()}));
}

void ConsoleDialogsTest::captureButtonRefusesAnUncreatableFileThenStartsAndEnds()
{
    const QString goodFile = QDir::temp().filePath(QStringLiteral("parvane_console_%1.pcap").arg(getpid()));
    const struct {
        QString file;          // chosen in the file dialog; empty: the capture runs and the press ends it
        QString message;       // the message box's text's end; empty: none opens
        bool capturingAfter;
    } presses[] = {
        // The dialog may take the name as relative to the folder it shows: the message names the
        // whole path.
        {QStringLiteral("/nonexistent-dir/c.pcap"),
         QStringLiteral("/nonexistent-dir/c.pcap: No such file or directory"), false},
        {goodFile, QString(), true},
        {QString(), QString(), false},
    };
    for (const auto& press : presses) {
        MessageSeen seen;
        if (!press.file.isEmpty()) {
            WhenModalOpens([&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog != nullptr);
                AnswerMessageBox(dialog, &seen);
                dialog->selectFile(press.file);
                static_cast<QDialog*>(dialog)->accept();   // as the Save button does
            });
        }
        QTest::mouseClick(fixture.window->Control(1243), Qt::LeftButton);
        QCOMPARE(seen.shown, !press.message.isEmpty());
        QVERIFY2(seen.text.startsWith(QStringLiteral("cannot create capture file: ")) || !seen.shown, qPrintable(seen.text));
        QVERIFY2(seen.text.endsWith(press.message), qPrintable(seen.text));
        std::string file;
        QCOMPARE(IsCapturing(&file), press.capturingAfter);
        QCOMPARE(qobject_cast<QPushButton*>(fixture.window->Control(1243))->text(),
                 press.capturingAfter ? QStringLiteral("End Ca&pture") : QStringLiteral("Ca&pture..."));
    }
    QVERIFY(QFile::exists(goodFile));
    QFile::remove(goodFile);
}

void ConsoleDialogsTest::faultsChecksAsTypedAddsAndRemovesRules()
{
    ClearFaultRules();
    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    QString caption;
    QString refused;
    bool addWhileRefused = true;
    QStringList listed;
    bool writeRefused = false;
    int leftAfterRemove = -1;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        Type(dialog, 1502, QStringLiteral("exception=6 fc=6 evry=2"));
        refused = In<QLabel>(dialog, 1504)->text();
        addWhileRefused = In<QPushButton>(dialog, 1503)->isEnabled();
        QTest::keyClick(In<QLineEdit>(dialog, 1502), Qt::Key_Return);   // refused: nothing added
        Type(dialog, 1502, QStringLiteral("exception=6 fc=6 every=2"));
        QTest::keyClick(In<QLineEdit>(dialog, 1502), Qt::Key_Return);   // Add is the default button
        writeRefused = client.WriteRegister(3, 1) && !client.WriteRegister(3, 2);
        QTest::mouseClick(In<QPushButton>(dialog, 1506), Qt::LeftButton);
        auto* list = In<QTreeWidget>(dialog, 1501);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            listed << list->topLevelItem(row)->text(1);
        }
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(In<QPushButton>(dialog, 1505), Qt::LeftButton);
        leftAfterRemove = list->topLevelItemCount();
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1245), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Faults"));
    QCOMPARE(refused, QStringLiteral("cannot read 'evry=2': not a condition: expected fc, address, unit, peer, every, "
                                     "after, count or probability"));
    QVERIFY(!addWhileRefused);
    QCOMPARE(listed, QStringList{QStringLiteral("exception=6 fc=6 every=2   (acted 1 of 2 matching)")});
    QVERIFY(writeRefused);
    QCOMPARE(leftAfterRemove, 0);
    QVERIFY(!AreFaultRulesSet());
    QVERIFY(client.WriteRegister(3, 3));
    QCOMPARE(Register(3), uint16_t{3});
}

void ConsoleDialogsTest::generatorsCheckAsTypedAddAndRemoveGenerators()
{
    ClearGenerators();
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QString caption;
    QString refused;
    bool addWhileRefused = true;
    QStringList listed;
    bool counting = false;
    int leftAfterRemove = -1;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        Type(dialog, 1602, QStringLiteral("registers 7 uint16 counter start=5 period=5ms"));
        refused = In<QLabel>(dialog, 1604)->text();
        addWhileRefused = In<QPushButton>(dialog, 1603)->isEnabled();
        QTest::keyClick(In<QLineEdit>(dialog, 1602), Qt::Key_Return);   // refused: nothing added
        Type(dialog, 1602, QStringLiteral("registers 7  uint16 counter start=5 period=10ms"));
        QTest::keyClick(In<QLineEdit>(dialog, 1602), Qt::Key_Return);   // Add is the default button
        counting = QTest::qWaitFor([] { return Register(7) > 5; }, kCycleWaitMs);
        auto* list = In<QTreeWidget>(dialog, 1601);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            listed << list->topLevelItem(row)->text(1);
        }
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(In<QPushButton>(dialog, 1605), Qt::LeftButton);
        leftAfterRemove = list->topLevelItemCount();
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1246), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Generators"));
    QCOMPARE(refused, QStringLiteral("cannot read 'period=5ms': expected N ms or N s, from 10 ms to a day, e.g. 100ms "
                                     "or 60s"));
    QVERIFY(!addWhileRefused);
    QCOMPARE(listed, QStringList{QStringLiteral("registers 7 uint16 counter start=5 period=10ms")});
    QVERIFY(counting);
    QCOMPARE(leftAfterRemove, 0);
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    QCOMPARE(CopyGenerators(views.data()), 0);
}

void ConsoleDialogsTest::aboutShowsNameVersionAndLicence()
{
    QString caption;
    QString text;
    bool closedByOk = false;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            text += label->text();
        }
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
        closedByOk = !dialog->isVisible();
    });
    QTest::mouseClick(fixture.window->Control(1231), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("About Parvane"));
    QCOMPARE(text, QStringLiteral("Parvane\n\nVersion 1.0\nLicensed under the MIT License"));
    QVERIFY(closedByOk);

    bool closedByEscape = false;
    WhenModalOpens([&](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_Escape);
        closedByEscape = !dialog->isVisible();
    });
    QTest::mouseClick(fixture.window->Control(1231), Qt::LeftButton);
    QVERIFY(closedByEscape);
}

void ConsoleDialogsTest::refreshGoesOnWhileADialogIsOpen()
{
    bool gridFollowed = false;
    bool monitorFollowed = false;
    WhenModalOpens([&](QWidget* dialog) {
        const uint16_t value = 77;
        PokeRegisters(0, 1, &value);
        gridFollowed = QTest::qWaitFor([this] { return fixture.Text(1179) == QStringLiteral("77"); }, kCycleWaitMs);
        TestClient client(fixture.port);
        uint16_t read = 0;
        monitorFollowed = client.Connect() && client.ReadRegisters(0, 1, &read) == 1 &&
                          QTest::qWaitFor([this] { return fixture.Text(2301) == QStringLiteral("1"); }, kCycleWaitMs);
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);   // Edit Values stays open meanwhile
    QVERIFY(gridFollowed);
    QVERIFY(monitorFollowed);
}

void ConsoleDialogsTest::closeRequestWhileADialogIsOpenEndsBoth()
{
    // Only a stop signal can ask for the close while a dialog is open: the window is disabled.
    bool dialogEnded = false;
    WhenModalOpens([&](QWidget* dialog) {
        Type(dialog, 1220, QStringLiteral("7"));
        fixture.window->close();
        dialogEnded = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QVERIFY(dialogEnded);
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.window->isVisible(), 5000);
    QVERIFY(!IsServerRunning());
    uint16_t first = 1;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    QCOMPARE(last, uint16_t{65535});   // ended as cancelled: nothing applied
}

QTEST_MAIN(ConsoleDialogsTest)
#include "test_console_dialogs.moc"
