// The main window on the offscreen platform, driven as an operator would: the server's start and
// stop, the connection monitor with a real client on loopback, the grid, the event log, and the
// closing hand-shake.
#include "console_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include "log/event_log.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"

class ConsoleWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startStopCaptionFollowsTheServer();
    void startClickedWhileClosingDoesNothing();
    void connectedClientShowsSocketAddressCountersAndDumps();
    void viewingAFreeSlotEmptiesTheStatistics();
    void gridStartsAtRegisterZero();
    void gridShowsValuesAClientWrote();
    void scrollBarArrowsPagesAndThumb();
    void scrollBarIgnoresHomeAndEnd();
    void wheelOverTheGrid_data();
    void wheelOverTheGrid();
    void goTo_data();
    void goTo();
    void goToByEnterInItsBox();
    void tableSwitchRestoresEachTablesStart();
    void cellsOutsideTheWindowShowDashes_data();
    void cellsOutsideTheWindowShowDashes();
    void logLineShowsStampAndMessageInColumns();
    void logKeepsTheNewest500Lines();
    void logFollowsItsEndUntilTheOperatorScrollsUp();
    void workerLogsWhileADialogIsOpen();
    void escapeLeavesTheMainWindowOpen();
    void closingWithClientsConnectedLogsTheirEndsFirst();

private:
    ConsoleFixture fixture;
};

namespace {

QRect ScrollBarPart(QScrollBar* bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

void ClickScrollBarPart(QScrollBar* bar, QStyle::SubControl part)
{
    QTest::mouseClick(bar, Qt::LeftButton, {}, ScrollBarPart(bar, part).center());
}

// Drags the thumb down by `pixels` and releases it.
void DragThumb(QScrollBar* bar, int pixels)
{
    const QPoint from = ScrollBarPart(bar, QStyle::SC_ScrollBarSlider).center();
    const QPoint to = from + QPoint(0, pixels);
    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
}

constexpr int kCycleWaitMs = 2000;   // a refresh is due every 200 ms; this bound only catches hangs

}  // namespace

void ConsoleWindowTest::init()
{
    QVERIFY(fixture.SetUp());
}

void ConsoleWindowTest::cleanup()
{
    fixture.TearDown();
}

void ConsoleWindowTest::startStopCaptionFollowsTheServer()
{
    auto* button = qobject_cast<QPushButton*>(fixture.window->Control(1002));
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("&Stop Server"), kCycleWaitMs);
    QVERIFY(IsServerRunning());
    QVERIFY(fixture.LogMessages().first().startsWith(QStringLiteral("Modbus Server started on ")));

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!IsServerRunning(), kCycleWaitMs);
    // Within one cycle of the stop the caption follows.
    QElapsedTimer sinceStop;
    sinceStop.start();
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("&Start Server"), kCycleWaitMs);
    QVERIFY2(sinceStop.elapsed() < 600, qPrintable(QString::number(sinceStop.elapsed())));
    QCOMPARE(fixture.LogMessages().last(), QStringLiteral("Modbus Server stopped"));

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("&Stop Server"), kCycleWaitMs);
    QCOMPARE(fixture.LogMessages().count(QStringLiteral("Modbus Server stopped")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(fixture.LogMessages().last().startsWith(QStringLiteral("Listening on 127.0.0.1:")), kCycleWaitMs);
    QVERIFY(fixture.LogMessages()[fixture.LogMessages().size() - 2].startsWith(QStringLiteral("Modbus Server started on ")));
}

void ConsoleWindowTest::startClickedWhileClosingDoesNothing()
{
    // A start after the refresh thread's stop would keep its wait for the stop from returning.
    auto* button = fixture.window->Control(1002);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!IsServerRunning(), kCycleWaitMs);
    fixture.window->close();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!IsServerRunning());
    QVERIFY(fixture.CloseWindow());
    QCOMPARE(fixture.LogMessages().filter(QStringLiteral("Modbus Server started")).size(), 1);
}

void ConsoleWindowTest::connectedClientShowsSocketAddressCountersAndDumps()
{
    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    uint16_t values[10];
    QCOMPARE(client.ReadRegisters(0, 10, values), 10);

    QTRY_VERIFY_WITH_TIMEOUT(!fixture.Text(1901).isEmpty(), kCycleWaitMs);
    const QString socket = fixture.Text(1901);
    QVERIFY(fixture.LogMessages().contains(
        QStringLiteral("Connection accepted on socket %1 from %2").arg(socket, fixture.Text(2001))));
    QVERIFY(fixture.Text(2001).startsWith(QStringLiteral("127.0.0.1:")));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(2301), QStringLiteral("1"), kCycleWaitMs);
    QCOMPARE(fixture.Text(2401), QStringLiteral("0"));
    QCOMPARE(fixture.Text(2101), QStringLiteral("12"));   // 7-byte header + 5-byte PDU
    QCOMPARE(fixture.Text(2201), QStringLiteral("29"));   // 7 + 2 + 20 register bytes
    QCOMPARE(fixture.Text(1235), QStringLiteral("0"));
    // Transaction 1, unit 1, read 10 registers from 0.
    QCOMPARE(fixture.Text(1226), QStringLiteral("00 01 00 00 00 06 01 03 00 00 00 0A "));
    QVERIFY(fixture.Text(1228).startsWith(QStringLiteral("00 01 00 00 00 17 01 03 14 00 00 ")));
    QCOMPARE(fixture.Text(1228).size(), 29 * 3);
    const QFontMetrics dumpFont(fixture.window->Control(1226)->font());   // bytes line up in columns
    QCOMPARE(dumpFont.horizontalAdvance(QLatin1Char('i')), dumpFont.horizontalAdvance(QLatin1Char('W')));
    for (int row = 1; row < 4; ++row) {
        QCOMPARE(fixture.Text(1901 + row), QString());
        QCOMPARE(fixture.Text(2001 + row), QString());
    }

    // Switch function code 3 off: the next read is rejected and counted so.
    SetFunctionEnabled(3, false);
    QCOMPARE(client.ReadRegisters(0, 1, values), -1);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(2401), QStringLiteral("1"), kCycleWaitMs);
    QCOMPARE(fixture.Text(2301), QStringLiteral("1"));
    QCOMPARE(fixture.Text(1228), QStringLiteral("00 02 00 00 00 03 01 83 01 "));
}

void ConsoleWindowTest::viewingAFreeSlotEmptiesTheStatistics()
{
    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    uint16_t value = 0;
    QCOMPARE(client.ReadRegisters(0, 1, &value), 1);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(2301), QStringLiteral("1"), kCycleWaitMs);

    QTest::mouseClick(fixture.window->Control(1223), Qt::LeftButton);   // "&2 >": slot 1, free
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(2301), QString(), kCycleWaitMs);
    for (int id : {2101, 2201, 2401, 1234, 1235, 1236, 1237, 1238, 1226, 1228}) {
        QCOMPARE(fixture.Text(id), QString());
    }
    QVERIFY(!fixture.Text(1901).isEmpty());   // the rows still show every connection

    QTest::mouseClick(fixture.window->Control(1222), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(2301), QStringLiteral("1"), kCycleWaitMs);
}

void ConsoleWindowTest::gridStartsAtRegisterZero()
{
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QStringLiteral("0"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1301), QStringLiteral("10"));
    QCOMPARE(fixture.Text(1302), QStringLiteral("20"));
    for (int id = 1179; id <= 1208; ++id) {
        QCOMPARE(fixture.Text(id), QStringLiteral("0"));
    }
    QCOMPARE(qobject_cast<QScrollBar*>(fixture.window->Control(1221))->value(), 0);
    QVERIFY(qobject_cast<QPushButton*>(fixture.window->Control(1232))->isChecked());
}

void ConsoleWindowTest::gridShowsValuesAClientWrote()
{
    TestClient client(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(client.Connect());
    QVERIFY(client.WriteRegister(5, 0xFFFF));
    QVERIFY(client.WriteRegister(29, 4660));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179 + 5), QStringLiteral("65535"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1179 + 29), QStringLiteral("4660"));

    QVERIFY(client.WriteCoil(3, true));
    QTest::mouseClick(fixture.window->Control(1233), Qt::LeftButton);   // "C&oils"
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179 + 3), QStringLiteral("1"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1179 + 5), QStringLiteral("0"));
}

void ConsoleWindowTest::scrollBarArrowsPagesAndThumb()
{
    auto* bar = qobject_cast<QScrollBar*>(fixture.window->Control(1221));

    ClickScrollBarPart(bar, QStyle::SC_ScrollBarSubLine);   // line up at 0 stays at 0
    QCOMPARE(RegisterViewStart.load(), 0);
    ClickScrollBarPart(bar, QStyle::SC_ScrollBarAddLine);
    QCOMPARE(RegisterViewStart.load(), 10);
    QCOMPARE(bar->value(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QStringLiteral("10"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1302), QStringLiteral("30"));

    ClickScrollBarPart(bar, QStyle::SC_ScrollBarAddPage);
    QCOMPARE(RegisterViewStart.load(), 40);
    fixture.window->SetViewPosition(30000);   // thumb in the middle, room above it for a page click
    ClickScrollBarPart(bar, QStyle::SC_ScrollBarSubPage);
    QCOMPARE(RegisterViewStart.load(), 29970);
    fixture.window->SetViewPosition(10);

    DragThumb(bar, bar->height() / 2);
    const int tracked = RegisterViewStart.load();
    QVERIFY2(tracked > 1000 && tracked % 10 == 0, qPrintable(QString::number(tracked)));
    QCOMPARE(bar->value() * 10, tracked);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QString::number(tracked), kCycleWaitMs);

    // Page down from 65,500 lands on 65,510; line down there stays. (The thumb sits at the bottom,
    // with no page area below it to click: the keyboard's Page Down asks for the page instead.)
    fixture.window->SetViewPosition(65500);
    QTest::keyClick(bar, Qt::Key_PageDown);
    QCOMPARE(RegisterViewStart.load(), 65510);
    ClickScrollBarPart(bar, QStyle::SC_ScrollBarAddLine);
    QCOMPARE(RegisterViewStart.load(), 65510);
    QCOMPARE(bar->value(), 6551);
}

void ConsoleWindowTest::scrollBarIgnoresHomeAndEnd()
{
    auto* bar = qobject_cast<QScrollBar*>(fixture.window->Control(1221));
    fixture.window->SetViewPosition(500);
    QTest::keyClick(bar, Qt::Key_End);
    QCOMPARE(RegisterViewStart.load(), 500);
    QCOMPARE(bar->value(), 50);
    QTest::keyClick(bar, Qt::Key_Home);
    QCOMPARE(RegisterViewStart.load(), 500);
    QCOMPARE(bar->value(), 50);
}

void ConsoleWindowTest::wheelOverTheGrid_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("control");         // 0: the window, between the first two rows of cells
    QTest::addColumn<QList<int>>("angles");   // eighths of a degree; 120 is one notch, up
    QTest::addColumn<int>("landsOn");
    QTest::newRow("one notch down over a cell") << 500 << 1179 << QList<int>{-120} << 510;
    QTest::newRow("two notches up over a row label") << 500 << 1302 << QList<int>{120, 120} << 480;
    QTest::newRow("half notches add up") << 500 << 1208 << QList<int>{-60, -60} << 510;
    QTest::newRow("one half notch does nothing yet") << 500 << 1190 << QList<int>{-60} << 500;
    QTest::newRow("between two rows") << 500 << 0 << QList<int>{-120} << 510;
    QTest::newRow("up at the top stays") << 0 << 1179 << QList<int>{120} << 0;
    QTest::newRow("down at the last row stays") << 65510 << 1179 << QList<int>{-120} << 65510;
    QTest::newRow("over the statistics nothing") << 500 << 2301 << QList<int>{-120} << 500;
}

void ConsoleWindowTest::wheelOverTheGrid()
{
    QFETCH(int, start);
    QFETCH(int, control);
    QFETCH(QList<int>, angles);
    fixture.window->SetViewPosition(start);
    QWidget* target = control != 0 ? fixture.window->Control(control) : fixture.window;
    const QRect firstCell = fixture.window->Control(1179)->geometry();
    const QRect belowIt = fixture.window->Control(1189)->geometry();
    for (int angle : angles) {
        const QPointF middle = control != 0 ? QRectF(target->rect()).center()
                                            : QPointF(firstCell.center().x(), (firstCell.bottom() + belowIt.top()) / 2.0);
        QWheelEvent wheel(middle, target->mapToGlobal(middle), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }
    QTEST(RegisterViewStart.load(), "landsOn");
    QCOMPARE(qobject_cast<QScrollBar*>(fixture.window->Control(1221))->value() * 10, RegisterViewStart.load());
}

void ConsoleWindowTest::goTo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("firstAddress");
    QTest::newRow("1234 rounds down to its row") << QStringLiteral("1234") << 1230;
    QTest::newRow("empty box goes to 0") << QString() << 0;
    QTest::newRow("65535 goes to the last row") << QStringLiteral("65535") << 65510;
    QTest::newRow("2147483647") << QStringLiteral("2147483647") << 65510;
    QTest::newRow("2147483648 goes to the last row, not the first") << QStringLiteral("2147483648") << 65510;
    QTest::newRow("4294967295 goes to the last row") << QStringLiteral("4294967295") << 65510;
    QTest::newRow("past 32 bits reads as 0") << QStringLiteral("4294967296") << 0;
}

void ConsoleWindowTest::goTo()
{
    QFETCH(QString, typed);
    QFETCH(int, firstAddress);
    fixture.window->SetViewPosition(300);   // somewhere else first
    auto* box = qobject_cast<QLineEdit*>(fixture.window->Control(1240));
    box->clear();
    QTest::keyClicks(box, typed);
    QTest::mouseClick(fixture.window->Control(1239), Qt::LeftButton);
    QCOMPARE(RegisterViewStart.load(), firstAddress);
    QCOMPARE(box->text(), typed);   // the box keeps its text
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QString::number(firstAddress), kCycleWaitMs);
    QCOMPARE(fixture.Text(1302), QString::number(firstAddress + 20));
    if (firstAddress == 65510) {
        for (int id = 1179; id <= 1204; ++id) {
            QCOMPARE(fixture.Text(id), QStringLiteral("0"));
        }
        for (int id = 1205; id <= 1208; ++id) {   // 65,536 to 65,539: past the table
            QCOMPARE(fixture.Text(id), QString());
        }
    }
}

void ConsoleWindowTest::goToByEnterInItsBox()
{
    auto* box = qobject_cast<QLineEdit*>(fixture.window->Control(1240));
    QApplication::setActiveWindow(fixture.window);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("777"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(RegisterViewStart.load(), 770);
    QVERIFY(fixture.window->isVisible());
}

void ConsoleWindowTest::tableSwitchRestoresEachTablesStart()
{
    // Each table at a start of its own with a value of its own in a column of its own, so that a
    // grid showing another table's cells, or this table at another's start, cannot pass.
    struct Shown {
        int button;
        int32_t start;
        int column;
        uint16_t value;
    };
    const Shown tables[] = {
        {1233, 40, 1, 1},          // coils
        {1229, 120, 2, 1},         // discrete inputs
        {1230, 65510, 3, 54321},   // input registers
        {1232, 500, 4, 4660},      // holding registers
    };
    const uint8_t on = 1;
    PokeCoils(40 + 1, 1, &on);
    PokeDiscreteInputs(120 + 2, 1, &on);
    PokeInputRegisters(65510 + 3, 1, std::array<uint16_t, 1>{54321}.data());
    PokeRegisters(500 + 4, 1, std::array<uint16_t, 1>{4660}.data());
    auto* bar = qobject_cast<QScrollBar*>(fixture.window->Control(1221));
    for (const Shown& table : tables) {
        QTest::mouseClick(fixture.window->Control(table.button), Qt::LeftButton);
        QCOMPARE(bar->value(), 0);   // not yet moved: every table starts at 0
        fixture.window->SetViewPosition(table.start);
    }
    // Back to each in another order: the thumb and the grid go to where that table was left.
    for (int k : {0, 2, 1, 3, 0}) {
        const Shown& table = tables[k];
        QTest::mouseClick(fixture.window->Control(table.button), Qt::LeftButton);
        QCOMPARE(bar->value(), table.start / 10);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QString::number(table.start), kCycleWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179 + table.column), QString::number(table.value), kCycleWaitMs);
        for (const Shown& other : tables) {
            if (other.column != table.column) {
                QCOMPARE(fixture.Text(1179 + other.column), QStringLiteral("0"));
            }
        }
    }
    // Scrolling moves the shown table's start only.
    ClickScrollBarPart(bar, QStyle::SC_ScrollBarAddLine);
    QCOMPARE(CoilViewStart.load(), 50);
    QCOMPARE(DiscreteInputViewStart.load(), 120);
    QCOMPARE(InputRegisterViewStart.load(), 65510);
    QCOMPARE(RegisterViewStart.load(), 500);
}

void ConsoleWindowTest::cellsOutsideTheWindowShowDashes_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("table");   // index into the window setters below
    QTest::newRow("coils") << 1233 << 0;
    QTest::newRow("discrete inputs") << 1229 << 1;
    QTest::newRow("input registers") << 1230 << 2;
    QTest::newRow("holding registers") << 1232 << 3;
}

void ConsoleWindowTest::cellsOutsideTheWindowShowDashes()
{
    QFETCH(int, button);
    QFETCH(int, table);
    // Only the shown table's window is narrowed: the others' windows must not mark its cells.
    void (*const setWindow[])(uint16_t, uint16_t) = {SetCoilWindow, SetDiscreteInputWindow, SetInputRegisterWindow,
                                                      SetRegisterWindow};
    setWindow[table](100, 199);
    const uint8_t on = 1;
    const uint16_t value = 42;
    PokeCoils(100, 1, &on);
    PokeDiscreteInputs(100, 1, &on);
    PokeInputRegisters(100, 1, &value);
    PokeRegisters(100, 1, &value);
    const QString shown = table < 2 ? QStringLiteral("1") : QStringLiteral("42");
    QTest::mouseClick(fixture.window->Control(button), Qt::LeftButton);
    fixture.window->SetViewPosition(90);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QStringLiteral("90"), kCycleWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("----"), kCycleWaitMs);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(fixture.Text(1179 + i), QStringLiteral("----"));
    }
    QCOMPARE(fixture.Text(1179 + 10), shown);
    QCOMPARE(fixture.Text(1179 + 29), QStringLiteral("0"));

    fixture.window->SetViewPosition(190);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1300), QStringLiteral("190"), kCycleWaitMs);
    QCOMPARE(fixture.Text(1179 + 9), QStringLiteral("0"));
    for (int i = 10; i < 30; ++i) {
        QCOMPARE(fixture.Text(1179 + i), QStringLiteral("----"));
    }
}

void ConsoleWindowTest::logLineShowsStampAndMessageInColumns()
{
    LogEvent("Socket %d closed", 120);
    const QString line = fixture.LogLines().last();
    const QRegularExpression shape(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\tSocket 120 closed$"));
    QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
}

void ConsoleWindowTest::logKeepsTheNewest500Lines()
{
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    const int before = fixture.LogLines().size();
    for (int i = 1; i <= 500 - before; ++i) {
        LogEvent("line %d", i);
    }
    QCOMPARE(fixture.LogLines().size(), 500);
    const QString oldest = fixture.LogMessages().first();
    const QString second = fixture.LogMessages().at(1);
    LogEvent("line 501");
    QCOMPARE(fixture.LogLines().size(), 500);
    QCOMPARE(fixture.LogMessages().first(), second);
    QVERIFY(!fixture.LogMessages().contains(oldest));
    QCOMPARE(fixture.LogMessages().last(), QStringLiteral("line 501"));

    // Lines from other threads count the same way and keep their order.
    RunOffWindowThread([] {
        for (int i = 0; i < 20; ++i) {
            LogEvent("worker %d", i);
        }
    });
    QCOMPARE(fixture.LogLines().size(), 500);
    QCOMPARE(fixture.LogMessages().mid(480), [] {
        QStringList expected;
        for (int i = 0; i < 20; ++i) {
            expected << QStringLiteral("worker %1").arg(i);
        }
        return expected;
    }());
}

void ConsoleWindowTest::logFollowsItsEndUntilTheOperatorScrollsUp()
{
    auto* list = qobject_cast<QTreeWidget*>(fixture.window->Control(1011));
    QScrollBar* bar = list->verticalScrollBar();
    auto shown = [list](int line) {
        return list->viewport()->rect().contains(list->visualItemRect(list->topLevelItem(line)));
    };
    auto topMessage = [list] { return list->itemAt(QPoint(2, 2))->text(1); };

    // A failed start after many lines is in view at once.
    for (int i = 0; i < 100; ++i) {
        LogEvent("line %d", i);
    }
    LogSocketError("Unable to bind listen socket", 10048);
    QApplication::processEvents();
    QVERIFY(bar->maximum() > 60);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(shown(list->topLevelItemCount() - 1));

    // Scrolled up by the operator, it stays on the lines shown, also while the oldest lines go.
    bar->setValue(60);
    const QString top = topMessage();
    RunOffWindowThread([] {
        for (int i = 0; i < 450; ++i) {
            LogEvent("more %d", i);
        }
    });
    QApplication::processEvents();
    QCOMPARE(list->topLevelItemCount(), 500);
    QCOMPARE(topMessage(), top);

    // Back at the end, it follows again.
    bar->setValue(bar->maximum());
    LogEvent("newest");
    QApplication::processEvents();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(shown(499));
    QCOMPARE(list->topLevelItem(499)->text(1), QStringLiteral("newest"));
}

void ConsoleWindowTest::workerLogsWhileADialogIsOpen()
{
    bool shownWhileOpen = false;
    WhenModalOpens([&](QWidget*) {
        RunOffWindowThread([] { LogEvent("logged while the About box is open"); });
        shownWhileOpen = fixture.LogMessages().last() == QStringLiteral("logged while the About box is open");
    });
    QTest::mouseClick(fixture.window->Control(1231), Qt::LeftButton);
    QVERIFY(shownWhileOpen);
}

void ConsoleWindowTest::escapeLeavesTheMainWindowOpen()
{
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QTest::keyClick(fixture.window, Qt::Key_Escape);
    QTest::keyClick(fixture.window->Control(1002), Qt::Key_Escape);
    // Still open, still refreshed, the server still running.
    PokeRegisters(0, 1, std::array<uint16_t, 1>{9}.data());
    QTRY_COMPARE_WITH_TIMEOUT(fixture.Text(1179), QStringLiteral("9"), kCycleWaitMs);
    QVERIFY(fixture.window->isVisible());
    QVERIFY(IsServerRunning());
}

void ConsoleWindowTest::closingWithClientsConnectedLogsTheirEndsFirst()
{
    TestClient first(fixture.port);
    TestClient second(fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    QVERIFY(first.Connect());
    QVERIFY(second.Connect());
    uint16_t value = 0;
    QCOMPARE(first.ReadRegisters(0, 1, &value), 1);
    QCOMPARE(second.ReadRegisters(0, 1, &value), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.Text(1902).isEmpty(), kCycleWaitMs);
    const QString sockets[2] = {fixture.Text(1901), fixture.Text(1902)};

    // A second close request changes nothing.
    fixture.window->close();
    QVERIFY(fixture.CloseWindow());
    QVERIFY(!IsServerRunning());
    const QStringList messages = fixture.LogMessages();
    QCOMPARE(messages.last(), QStringLiteral("Modbus Server stopped"));
    const QStringList ends = messages.mid(messages.size() - 3, 2);
    QVERIFY2(ends.contains(QStringLiteral("Socket %1 closed").arg(sockets[0])), qPrintable(ends.join('|')));
    QVERIFY2(ends.contains(QStringLiteral("Socket %1 closed").arg(sockets[1])), qPrintable(ends.join('|')));
}

QTEST_MAIN(ConsoleWindowTest)
#include "test_console_window.moc"
