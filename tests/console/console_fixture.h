#pragma once

// What the window and dialog tests share: the process-wide objects brought up and down around
// each test as the program does, a main window on a free loopback port, a Modbus client whose
// calls run off the window thread, and helpers to answer modal dialogs.
#include <QtTest>

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>
#include <QTreeWidget>

#include <modbus/modbus.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "console/console_font.h"
#include "console/exit_event.h"
#include "console/main_window.h"
#include "console/template_dialog.h"
#include "console/view_position.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "support/core_state.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

// A port nobody listens on right now: bind port 0 on loopback and read it back.
inline uint16_t FreeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    return probe.serverPort();
}

// Runs `work` on a thread of its own while the window thread goes on serving events (log lines,
// the refresh thread's calls); answers false if it did not finish within `timeoutMs`. The work
// must bound its own waits, since it is joined in any case.
inline bool RunOffWindowThread(const std::function<void()>& work, int timeoutMs = 10000)
{
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished.store(true);
    });
    QElapsedTimer timer;
    timer.start();
    while (!finished.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
        if (timer.elapsed() > timeoutMs) {
            break;
        }
    }
    const bool inTime = finished.load();
    while (!finished.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    worker.join();
    return inTime;
}

// A Modbus/TCP client (libmodbus, unit 1) on 127.0.0.1. Every call runs off the window thread,
// because the server's accept logs through the window thread before it serves a request.
class TestClient {
public:
    explicit TestClient(uint16_t port) : context(modbus_new_tcp("127.0.0.1", port))
    {
        modbus_set_slave(context, 1);
        modbus_set_response_timeout(context, 3, 0);
    }
    ~TestClient()
    {
        Close();
        modbus_free(context);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connect()
    {
        int result = -1;
        RunOffWindowThread([&] { result = modbus_connect(context); });
        connected = result == 0;
        return connected;
    }
    // Answers the count read, or -1 for an exception or a failure.
    int ReadRegisters(int address, int count, uint16_t* values)
    {
        int result = -1;
        RunOffWindowThread([&] { result = modbus_read_registers(context, address, count, values); });
        return result;
    }
    bool WriteRegister(int address, uint16_t value)
    {
        int result = -1;
        RunOffWindowThread([&] { result = modbus_write_register(context, address, value); });
        return result == 1;
    }
    bool WriteCoil(int address, bool on)
    {
        int result = -1;
        RunOffWindowThread([&] { result = modbus_write_bit(context, address, on ? 1 : 0); });
        return result == 1;
    }
    void Close()
    {
        if (connected) {
            modbus_close(context);
            connected = false;
        }
    }

private:
    modbus_t* context;
    bool connected = false;
};

// Brings the process-wide objects up as the program's start-up does, with the server on a free
// loopback port, and down again in reverse order.
// Bumped when a test ends, so that a watcher a test scheduled for a modal that never opened gives
// up instead of acting on the next test's dialog.
inline int& ModalWatchGeneration()
{
    static int generation = 0;
    return generation;
}

class ConsoleFixture {
public:
    uint16_t port = 0;
    MainWindow* window = nullptr;

    bool SetUp(RefreshThreadStarter starter = StartRefreshThread, uint16_t chosenPort = 0,
               bool waitForFirstRefresh = true)
    {
        port = chosenPort != 0 ? chosenPort : FreeTcpPort();
        if (port == 0 || !CreateExitEvent()) {
            return false;
        }
        ResetServedData();
        for (DataTable table : kDataTables) {
            ViewStartOf(table).store(0);
            for (uint8_t code : FunctionCodesOf(table)) {
                SetFunctionEnabled(code, true);
            }
        }
        InitSlotTable();
        InitServerControl("127.0.0.1", port);
        CreateConsoleFont();
        window = new MainWindow(std::move(starter));
        window->show();
        if (!QTest::qWaitForWindowExposed(window)) {
            return false;
        }
        if (waitForFirstRefresh) {
            // The template's placeholders ("65510" over the first row) are gone after the first cycle.
            return QTest::qWaitFor([this] { return Text(1300) == QStringLiteral("0"); }, 5000);
        }
        return true;
    }

    // Closes the window the operator's way and waits, serving events, until it has ended.
    bool CloseWindow(int timeoutMs = 10000)
    {
        if (window == nullptr || !window->isVisible()) {
            return true;
        }
        window->close();
        QElapsedTimer timer;
        timer.start();
        while (window->isVisible() && timer.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return !window->isVisible();
    }

    void TearDown()
    {
        ++ModalWatchGeneration();
        CloseWindow();
        delete window;
        window = nullptr;
        DestroyConsoleFont();
        DestroyServerControl();
        DestroySlotTable();
        DestroyDataTables();
        DestroyExitEvent();
    }

    QString Text(int controlId) const { return ControlText(window->Control(controlId)); }

    // The log list's lines, each as "stamp<TAB>message".
    QStringList LogLines() const
    {
        auto* list = qobject_cast<QTreeWidget*>(window->Control(1011));
        QStringList lines;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            lines << list->topLevelItem(i)->text(0) + QLatin1Char('\t') + list->topLevelItem(i)->text(1);
        }
        return lines;
    }

    QStringList LogMessages() const
    {
        QStringList messages;
        for (const QString& line : LogLines()) {
            messages << line.section(QLatin1Char('\t'), 1);
        }
        return messages;
    }
};

// Runs `steps` on the modal dialog or message box once it is open (pre-scheduled before the click
// that opens it); `notThis` is a modal already open that is not the one awaited. If the steps
// leave it open, it is rejected, so that a failing test never hangs in a modal loop.
inline void TryModalSteps(const std::function<void(QWidget* modal)>& steps, QWidget* notThis, int triesLeft,
                          int generation)
{
    if (generation != ModalWatchGeneration()) {
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == notThis) {
        if (triesLeft > 0) {
            QTimer::singleShot(10, [steps, notThis, triesLeft, generation] {
                TryModalSteps(steps, notThis, triesLeft - 1, generation);
            });
        }
        return;
    }
    QPointer<QWidget> guard(modal);
    steps(modal);
    if (guard && guard->isVisible()) {
        if (auto* dialog = qobject_cast<QDialog*>(guard.data())) {
            dialog->reject();
        }
    }
}

inline void WhenModalOpens(const std::function<void(QWidget* modal)>& steps, QWidget* notThis = nullptr)
{
    const int generation = ModalWatchGeneration();
    QTimer::singleShot(0, [steps, notThis, generation] { TryModalSteps(steps, notThis, 500, generation); });
}
