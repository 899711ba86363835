#include "in_process_server.h"

#include <chrono>
#include <string>
#include <thread>

#include "log/event_log.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

// Takes every log message into the scenario's log book, synchronously as the interface demands.
class LogBookTarget : public LogTarget {
public:
    explicit LogBookTarget(LogBook* book) : book_(book) {}
    void TakeMessage(const char* message) override { book_->Add(message); }

private:
    LogBook* book_;
};

}  // namespace

void InProcessServer::Init()
{
    static LogBookTarget target(&log);
    SetLogTarget(&target);
    InitDataTables();
    InitSlotTable();
    port_ = PickFreePort();
    InitServerControl("127.0.0.1", port_);
}

bool InProcessServer::Start(int timeoutMs)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        size_t from = log.Size();
        StartServer();
        long line = -1;
        log.WaitUntil(
            [&](const std::vector<std::string>& lines) {
                for (size_t i = from; i < lines.size(); ++i) {
                    if (lines[i].rfind("Modbus Server started on ", 0) == 0 || lines[i].rfind("ERROR: ", 0) == 0) {
                        line = static_cast<long>(i);
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        if (line < 0) {
            return false;
        }
        std::string text = log.Lines()[static_cast<size_t>(line)];
        if (text.rfind("Modbus Server started on ", 0) == 0) {
            return true;
        }
        // Only a port that someone else took since it was picked is worth another try.
        if (text.find("WSAEADDRINUSE") == std::string::npos || IsServerRunning()) {
            return false;
        }
        port_ = PickFreePort();
        InitServerControl("127.0.0.1", port_);
    }
    return false;
}

long InProcessServer::Stop(int timeoutMs)
{
    int64_t start = NowMilliseconds();
    StopServer();
    // IsServerRunning turns false only when the stopped event is set, the listener's last act.
    while (IsServerRunning()) {
        if (NowMilliseconds() - start > timeoutMs) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    WaitServerStopped();
    return static_cast<long>(NowMilliseconds() - start);
}

void InProcessServer::Destroy()
{
    DestroyServerControl();
    DestroySlotTable();
    DestroyDataTables();
}

bool StartScenarioServer(bool inProcess, const std::string& cli, ServerProcess* process, InProcessServer* inside,
                         uint16_t* port)
{
    if (!inProcess) {
        return StartCliServer(process, cli, port);
    }
    inside->Init();
    if (!inside->Start()) {
        Fail("the in-process server did not start");
        return false;
    }
    *port = inside->Port();
    return true;
}
