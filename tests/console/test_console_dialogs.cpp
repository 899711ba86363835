// The dialogs of the main window, opened by their buttons and answered as an operator would:
// Edit Values, Configure Data Areas, View I/O Buffers and About.
#include "console_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

class ConsoleDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void editValuesWritesOnlyFilledBoxes();
    void editValuesRefusals_data();
    void editValuesRefusals();
    void editValuesCancelWritesNothing();
    void editValuesForCoils();
    void editValuesDisablesAddressesPastTheTable();
    void configureShowsTheCurrentSettings();
    void configureOkWithoutChangesKeepsEverything();
    void configureRefusals_data();
    void configureRefusals();
    void configureAppliesBothTables();
    void configureCancelAppliesNothing();
    void configuredWindowRefusesClientsAndShowsDashes();
    void ioBuffersShowSnapshotUntilRefresh();
    void ioBuffersOfAFreeSlotStayAsTheyAre();
    void aboutShowsNameVersionAndLicence();
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

uint8_t Coil(uint32_t address)
{
    uint8_t value = 0;
    PeekCoils(address, 1, &value);
    return value;
}

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

    QCOMPARE(caption, QStringLiteral("Edit Register Values"));
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
    QTest::addColumn<bool>("coils");
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString register1234 = QStringLiteral("The value for register 1234 must be a whole number from 0 to 65535.");
    QTest::newRow("70000 does not fit 16 bits") << false << 4 << "70000" << register1234;
    QTest::newRow("65536") << false << 4 << "65536" << register1234;
    QTest::newRow("-1 has a sign") << false << 4 << "-1" << register1234;
    QTest::newRow("1.5 is not whole") << false << 4 << "1.5" << register1234;
    QTest::newRow("eight digits are read whole") << false << 4 << "12345678" << register1234;
    QTest::newRow("letters after digits") << false << 4 << "12ab" << register1234;
    QTest::newRow("coil 5") << true << 7 << "5" << QStringLiteral("The value for coil 1237 must be 0 or 1.");
}

void ConsoleDialogsTest::editValuesRefusals()
{
    QFETCH(bool, coils);
    QFETCH(int, box);
    QFETCH(QString, text);
    if (coils) {
        QTest::mouseClick(fixture.window->Control(1233), Qt::LeftButton);
    }
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
        QCOMPARE(coils ? uint16_t{Coil(address)} : Register(address), uint16_t{0});
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

void ConsoleDialogsTest::editValuesForCoils()
{
    QTest::mouseClick(fixture.window->Control(1233), Qt::LeftButton);
    fixture.window->SetViewPosition(40);
    QString caption;
    QString firstRow;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        firstRow = In<QLabel>(dialog, 1400)->text();
        Type(dialog, 3000, QStringLiteral("1"));
        Type(dialog, 3001, QStringLiteral("0"));
        Type(dialog, 3002, QStringLiteral("1"));
        QTest::keyClick(In<QLineEdit>(dialog, 3002), Qt::Key_Return);   // Enter is OK
    });
    QTest::mouseClick(fixture.window->Control(1209), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Edit Coil Values"));
    QCOMPARE(firstRow, QStringLiteral("40"));
    QCOMPARE(Coil(40), uint8_t{1});
    QCOMPARE(Coil(41), uint8_t{0});
    QCOMPARE(Coil(42), uint8_t{1});
    QCOMPARE(Register(40), uint16_t{0});
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

void ConsoleDialogsTest::configureShowsTheCurrentSettings()
{
    SetRegisterWindow(100, 199);
    SetCoilWindow(65535, 65535);
    SetFunctionEnabled(16, false);
    SetFunctionEnabled(5, false);
    QStringList boxes;
    QList<bool> checks;
    WhenModalOpens([&](QWidget* dialog) {
        for (int id : {1219, 1220, 1226, 1227}) {
            boxes << In<QLineEdit>(dialog, id)->text();
        }
        for (int id : {1214, 1215, 1216, 1217, 1218, 1221, 1222, 1223}) {
            checks << In<QCheckBox>(dialog, id)->isChecked();
        }
        QTest::mouseClick(In<QPushButton>(dialog, kCancelCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(boxes, (QStringList{"100", "100", "65535", "1"}));
    QCOMPARE(checks, (QList<bool>{true, true, false, true, true, true, false, true}));
}

void ConsoleDialogsTest::configureOkWithoutChangesKeepsEverything()
{
    QString caption;
    WhenModalOpens([&caption](QWidget* dialog) {
        caption = dialog->windowTitle();
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("Configure Data Areas"));
    uint16_t first = 1;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    QCOMPARE(first, uint16_t{0});
    QCOMPARE(last, uint16_t{65535});
    GetCoilWindow(&first, &last);
    QCOMPARE(first, uint16_t{0});
    QCOMPARE(last, uint16_t{65535});
    for (uint8_t code : {1, 3, 5, 6, 15, 16, 22, 23}) {
        QVERIFY(IsFunctionEnabled(code));
    }
}

void ConsoleDialogsTest::configureRefusals_data()
{
    QTest::addColumn<QString>("registerStart");
    QTest::addColumn<QString>("registerSize");
    QTest::addColumn<QString>("coilStart");
    QTest::addColumn<QString>("coilSize");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("focusBox");
    const QString zero = QStringLiteral("Size must be greater than zero.");
    const QString exceed = QStringLiteral("Starting Address plus Size cannot exceed 65536.");
    QTest::newRow("register size 0") << "5" << "0" << "0" << "10" << zero << 1220;
    QTest::newRow("register size empty") << "5" << "" << "0" << "10" << zero << 1220;
    const QString registersStart = QStringLiteral("Registers: the starting address must be a whole number from 0 to 4294967295.");
    const QString registersSize = QStringLiteral("Registers: the size must be a whole number from 0 to 4294967295.");
    const QString coilsStart = QStringLiteral("Coils: the starting address must be a whole number from 0 to 4294967295.");
    const QString coilsSize = QStringLiteral("Coils: the size must be a whole number from 0 to 4294967295.");
    QTest::newRow("register start past 32 bits is not another start")
        << "4294967306" << "1" << "0" << "10" << registersStart << 1219;
    QTest::newRow("register size letters") << "5" << "abc" << "0" << "10" << registersSize << 1220;
    QTest::newRow("register size negative") << "5" << "-1" << "0" << "10" << registersSize << 1220;
    QTest::newRow("coil start pasted letters") << "5" << "10" << "1x" << "10" << coilsStart << 1226;
    QTest::newRow("coil size past 32 bits") << "5" << "10" << "0" << "4294967296" << coilsSize << 1227;
    QTest::newRow("unreadable coil size before a register range check") << "70000" << "1" << "0" << "x" << coilsSize << 1227;
    QTest::newRow("register 65535 + 2") << "65535" << "2" << "0" << "10" << exceed << 1220;
    QTest::newRow("register start 70000 blames the size box") << "70000" << "1" << "0" << "10" << exceed << 1220;
    QTest::newRow("register size near 2^32") << "10" << "4294967290" << "0" << "10" << exceed << 1220;
    QTest::newRow("coil size 0 after valid registers") << "5" << "10" << "0" << "0" << zero << 1227;
    QTest::newRow("coil range past the table") << "5" << "10" << "65000" << "537" << exceed << 1227;
}

void ConsoleDialogsTest::configureRefusals()
{
    QFETCH(QString, registerStart);
    QFETCH(QString, registerSize);
    QFETCH(QString, coilStart);
    QFETCH(QString, coilSize);
    MessageSeen seen;
    // The focused control's identifier, taken while the dialog still exists.
    QString focusAfter;
    bool stayedOpen = false;
    WhenModalOpens([&](QWidget* dialog) {
        QApplication::setActiveWindow(dialog);
        // Set as pasted: typing into the start boxes takes digits only.
        In<QLineEdit>(dialog, 1219)->setText(registerStart);
        In<QLineEdit>(dialog, 1220)->setText(registerSize);
        In<QLineEdit>(dialog, 1226)->setText(coilStart);
        In<QLineEdit>(dialog, 1227)->setText(coilSize);
        QTest::mouseClick(In<QCheckBox>(dialog, 1214), Qt::LeftButton);   // unchecked, never applied
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
    // Nothing applied, for either table.
    uint16_t first = 1;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    QCOMPARE(first, uint16_t{0});
    QCOMPARE(last, uint16_t{65535});
    GetCoilWindow(&first, &last);
    QCOMPARE(first, uint16_t{0});
    QCOMPARE(last, uint16_t{65535});
    QVERIFY(IsFunctionEnabled(3));
}

void ConsoleDialogsTest::configureAppliesBothTables()
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
        QTest::mouseClick(In<QPushButton>(dialog, kOkCommand), Qt::LeftButton);
        closed = !dialog->isVisible();
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    QVERIFY(closed);
    uint16_t first = 0;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    QCOMPARE(first, uint16_t{65535});
    QCOMPARE(last, uint16_t{65535});
    GetCoilWindow(&first, &last);
    QCOMPARE(first, uint16_t{10});
    QCOMPARE(last, uint16_t{29});
    QVERIFY(!IsFunctionEnabled(3));
    QVERIFY(!IsFunctionEnabled(22));
    QVERIFY(!IsFunctionEnabled(15));
    for (uint8_t code : {1, 5, 6, 16, 23}) {
        QVERIFY(IsFunctionEnabled(code));
    }

    // Start 0 with size 65536 restores the whole table.
    WhenModalOpens([](QWidget* dialog) {
        Type(dialog, 1219, QStringLiteral("0"));
        Type(dialog, 1220, QStringLiteral("65536"));
        QTest::keyClick(In<QLineEdit>(dialog, 1220), Qt::Key_Return);
    });
    QTest::mouseClick(fixture.window->Control(1213), Qt::LeftButton);
    GetRegisterWindow(&first, &last);
    QCOMPARE(first, uint16_t{0});
    QCOMPARE(last, uint16_t{65535});
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
