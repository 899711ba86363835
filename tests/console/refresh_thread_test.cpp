// RefreshThread against a window made without any toolkit: the test's main thread plays the window
// thread and serves the thread's calls and the server's log lines one at a time, as the real window
// does. Nothing uninstrumented sits between the threads, so ThreadSanitizer sees every access that
// RefreshThread shares with the window thread, the server's threads and the tables.
#include <gtest/gtest.h>

#include <modbus/modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/exit_event.h"
#include "console/refresh_thread.h"
#include "console/start_stop_button.h"
#include "console/view_position.h"
#include "log/event_log.h"
#include "log/log_line.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "support/core_state.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

namespace {

using Clock = std::chrono::steady_clock;

// The window: calls from other threads wait until the window thread has run them, one at a time.
class TestWindow : public RefreshTarget, public LogTarget, public LogView {
public:
    // RefreshTarget
    ViewState ReadViewState() override
    {
        ViewState state{};
        OnWindowThread([&] { state = view; });
        return state;
    }
    void ShowRefresh(const RefreshTexts& texts) override
    {
        OnWindowThread([&] {
            shown = texts;
            ++refreshes;
            if (texts.caption != CaptionChange::None) {
                captionShowsRunning = texts.caption == CaptionChange::ShowRunning;
            }
        });
    }
    void CloseConsole() override
    {
        OnWindowThread([&] {
            closedWhileRunning = IsServerRunning();
            closed = true;
        });
    }

    // LogTarget, LogView
    void TakeMessage(const char* message) override
    {
        OnWindowThread([&] { AppendLogLine(this, message); });
    }
    void AddLine(const char* line) override { lines.emplace_back(std::strchr(line, '\t') + 1); }   // the message
    int LineCount() override { return static_cast<int>(lines.size()); }
    void DeleteFirstLine() override { lines.erase(lines.begin()); }

    // The window thread's loop: serves calls until `done` holds; false if it did not within the
    // bound. Between two calls it runs `operatorInput`, as the real window thread handles the
    // operator's input between the calls it serves.
    bool ServeUntil(const std::function<bool()>& done, int milliseconds = 5000,
                    const std::function<void()>& operatorInput = {})
    {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
        while (!done()) {
            if (Clock::now() > end) {
                return false;
            }
            const std::function<void()>* call = pending.load(std::memory_order_acquire);
            if (call == nullptr) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            (*call)();
            pending.store(nullptr, std::memory_order_release);
            if (operatorInput) {
                operatorInput();
            }
        }
        return true;
    }

    // Window thread only.
    ViewState view{0, DataTable::HoldingRegisters};
    RefreshTexts shown{};
    int refreshes = 0;
    bool captionShowsRunning = false;
    bool closed = false;
    bool closedWhileRunning = false;
    std::vector<std::string> lines;

private:
    // The hand-over orders only what the call needs: everything before the call on the caller's
    // side comes before the call, and the call before the caller goes on. Whatever the window
    // thread does after a call stays unordered with what the caller does next, as with the real
    // window, so that a race between them is there for the race detector to see.
    void OnWindowThread(const std::function<void()>& call)
    {
        if (std::this_thread::get_id() == windowThread) {
            call();
            return;
        }
        std::lock_guard<std::mutex> hold(callers);   // one call at a time
        pending.store(&call, std::memory_order_release);
        while (pending.load(std::memory_order_acquire) == &call) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }

    const std::thread::id windowThread = std::this_thread::get_id();
    std::mutex callers;   // taken by callers only, never by the window thread
    std::atomic<const std::function<void()>*> pending{nullptr};
};

class RefreshThreadTest : public testing::Test {
protected:
    void SetUp() override
    {
        CreateExitEvent();
        SetLogTarget(&window);
        ResetServedData();
        for (DataTable table : kDataTables) {
            ViewStartOf(table).store(0);
        }
        InitSlotTable();
        InitServerControl("127.0.0.1", 0);
    }

    void TearDown() override
    {
        // Normally done by the test already; after a failed check, the same orderly end.
        SignalExitEvent();
        if (started) {
            window.ServeUntil([this] { return window.closed; }, 15000);
        }
        StopServer();
        if (client.joinable()) {
            client.join();
        }
        WaitThreadGroupEmpty(&threads);
        DestroyServerControl();
        DestroySlotTable();
        DestroyDataTables();
        SetLogTarget(nullptr);
        DestroyExitEvent();
    }

    std::string Text(const char* text) const { return text; }

    TestWindow window;
    ThreadGroup threads;
    RefreshThreadRun run{&window, &threads};
    bool started = false;
    std::thread client;
};

// A client that writes register 5, then keeps writing register 6 until its connection is ended
// (bounded in count), so that the close runs while requests are served.
void WriteUntilEnded(uint16_t port, std::atomic<int>* writes)
{
    modbus_t* context = modbus_new_tcp("127.0.0.1", port);
    modbus_set_slave(context, 1);
    modbus_set_response_timeout(context, 2, 0);
    if (modbus_connect(context) == 0 && modbus_write_register(context, 5, 4660) == 1) {
        for (int i = 0; i < 200000 && modbus_write_register(context, 6, static_cast<uint16_t>(i)) == 1; ++i) {
            writes->fetch_add(1);
        }
    }
    modbus_close(context);
    modbus_free(context);
}

TEST_F(RefreshThreadTest, ShowsWhatOthersChangeAndClosesAfterTheServerStopped)
{
    ASSERT_EQ(StartRefreshThread(&run), 0);
    started = true;
    StartServer();
    ASSERT_TRUE(window.ServeUntil([this] { return window.captionShowsRunning; }));
    const uint16_t port = ListeningPort();
    ASSERT_NE(port, 0);

    // A client's writes and its connection show in the grid and the monitor.
    std::atomic<int> writes{0};
    client = std::thread(WriteUntilEnded, port, &writes);
    ASSERT_TRUE(window.ServeUntil([&] {
        return writes.load() > 10 && Text(window.shown.cell[5]) == "4660" && Text(window.shown.socketText[0]) != "";
    }));
    EXPECT_EQ(Text(window.shown.peerText[0]).rfind("127.0.0.1:", 0), 0u);

    // The operator scrolls the grid while the refresh thread reads its start, and switches tables.
    const int firstRefresh = window.refreshes;
    int32_t wanted = 0;
    ASSERT_TRUE(window.ServeUntil([&] { return window.refreshes >= firstRefresh + 3; }, 5000, [&wanted] {
        wanted = wanted == 100 ? 65535 : 100;
        RegisterViewStart.store(ScrollPositionForValue(wanted) * kGridLineStep, std::memory_order_relaxed);
    }));
    RegisterViewStart.store(ScrollPositionForValue(65535) * kGridLineStep);
    ASSERT_TRUE(window.ServeUntil([this] { return Text(window.shown.rowLabel[0]) == "65510"; }));
    EXPECT_EQ(Text(window.shown.cell[kGridCells - 1]), "");
    const uint8_t on = 1;
    PokeCoils(42, 1, &on);
    CoilViewStart.store(40);
    window.view.shownTable = DataTable::Coils;
    ASSERT_TRUE(window.ServeUntil([this] { return Text(window.shown.rowLabel[0]) == "40"; }));
    EXPECT_EQ(Text(window.shown.cell[2]), "1");

    // The operator closes; once the refresh thread has stopped the server, Start is pressed. The
    // window ends all the same, after the stop, with the stop's lines in its log.
    SignalExitEvent();
    ASSERT_TRUE(window.ServeUntil([] { return !IsServerRunning(); }, 15000));
    PressStartStop();
    ASSERT_TRUE(window.ServeUntil([this] { return window.closed; }, 15000));
    client.join();
    EXPECT_FALSE(window.closedWhileRunning);
    EXPECT_FALSE(IsServerRunning());
    ASSERT_GE(window.lines.size(), 3u);
    EXPECT_EQ(window.lines.back(), "Modbus Server stopped");
    EXPECT_EQ(window.lines[window.lines.size() - 2].rfind("Socket ", 0), 0u);
    EXPECT_EQ(std::count_if(window.lines.begin(), window.lines.end(),
                            [](const std::string& line) { return line.rfind("Modbus Server started", 0) == 0; }),
              1);
}

}  // namespace
