// parvane-cli: the Modbus/TCP test server without a window. It starts the server at once, prints
// each log line to standard output, and stops in order on SIGINT, SIGTERM or SIGHUP. Standard output
// that goes away or stops being read costs log lines, never the serving or the stop.

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "capture/capture_file.h"
#include "cli_options.h"
#include "control/control_server.h"
#include "control/state_file.h"
#include "faults/fault_options.h"
#include "faults/fault_rules.h"
#include "generators/generator_options.h"
#include "generators/generators.h"
#include "log/event_log.h"
#include "parvane_version.h"
#include "platform/socket.h"
#include "platform/standard_output.h"
#include "platform/stop_signals.h"
#include "platform/winsock_error.h"
#include "server/served_settings.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "server/transaction_trace.h"
#include "stdout_log.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOption = 2;
constexpr int kSignalPollMilliseconds = 100;
// How long the end waits for the last log lines to be written: ample for a reader that reads, and
// short enough that a reader that does not read still lets the process end well within 2 s.
constexpr int kLogDrainMilliseconds = 500;
constexpr uint16_t kFirstUnprivilegedPort = 1024;

void ApplyDataOptions(const CliOptions& options)
{
    InitDataTables();
    ApplyServedSettings(options.served);
    ApplyDeviceIdentification(options.deviceId);
}

// The command line's settings, then the state file's, before anything is logged or listened on. A
// refused file changes nothing; false after saying why on standard error.
bool SetUpServedData(const CliOptions& options)
{
    ApplyDataOptions(options);
    std::string problem;
    if (!options.control.loadFile.empty() && !LoadStateFile(options.control.loadFile, &problem)) {
        std::fprintf(stderr, "parvane-cli: %s\n", problem.c_str());
        DestroyDataTables();
        return false;
    }
    return true;
}

// Once the server has stopped, so that the file holds what the clients left; false after saying
// why on standard error.
bool SaveServedData(const CliOptions& options)
{
    std::string problem;
    if (!options.control.saveFile.empty() && !SaveStateFile(options.control.saveFile, &problem)) {
        std::fprintf(stderr, "parvane-cli: %s\n", problem.c_str());
        return false;
    }
    return true;
}

void ReleaseEverything()
{
    DestroyServerControl();
    DestroySlotTable();
    DestroyDataTables();
}

// The program's own file, for the setcap advice: argv[0] is only a bare name when found through PATH.
std::string ProgramPath(const char* argv0)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(argv0) : path.string();
}

// Runs until a stop signal or the server's own end; true when the stop was asked for. With the
// control interface only the signal ends the run: the server may be stopped and started again
// through it meanwhile.
bool RunUntilStopped(bool untilSignal)
{
    while (untilSignal || IsServerRunning()) {
        if (WaitForStopSignal(kSignalPollMilliseconds) != 0) {
            StopServer();
            WaitServerStopped();
            return true;
        }
    }
    return false;
}

// Starts the control interface when --http asks for it; false when the program must end with
// *status, the reason printed.
bool StartControlInterface(const ControlOptions& options, int* status)
{
    std::string problem;
    switch (StartControlServer(options, &problem)) {
    case ControlStart::kStarted:
    case ControlStart::kNotAsked:
        return true;
    case ControlStart::kTokenRefused:
        *status = kExitBadOption;
        break;
    case ControlStart::kFailed:
        *status = kExitFailed;
        break;
    }
    std::fprintf(stderr, "parvane-cli: %s\n", problem.c_str());
    return false;
}

// After the run: the control interface ends last, so that its clients see the stop; a start that
// one of them asked for meanwhile is undone.
void StopControlInterface()
{
    StopControlServer();
    StopServer();
    WaitServerStopped();
}

// Once nothing logs any more: the queued lines go out, and `status` is the result. When standard
// output takes nothing, the writer stays stuck in its write and the process ends at once instead:
// a normal exit would tear down the queue under it and flush standard output through the C library.
int FinishLog(int status)
{
    SetLogTarget(nullptr);
    if (!StopStdoutLog(kLogDrainMilliseconds)) {
        LeaveProcessNow(status);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    CliOptions options;
    std::string problem;
    switch (ParseCliOptions(argc, argv, &options, &problem)) {
    case CliCommand::kHelp:
        std::fputs(CliUsage(), stdout);
        return kExitStopped;
    case CliCommand::kVersion:
        std::printf("parvane-cli %s\nLicensed under the %s.\n", PARVANE_VERSION, PARVANE_LICENSE);
        return kExitStopped;
    case CliCommand::kBadOption:
        std::fprintf(stderr, "parvane-cli: %s\n%s", problem.c_str(), CliUsage());
        return kExitBadOption;
    case CliCommand::kRun:
        break;
    }

    if (!SetUpServedData(options)) {
        return kExitBadOption;
    }
    // Before any thread exists, so that every thread inherits the mask and only the wait below
    // ever sees the signals.
    BlockStopSignals();
    // A reader that goes away (`parvane-cli | grep -m1 started`) must not end the server.
    IgnoreBrokenPipe();
    if (int error = StartStdoutLog(); error != 0) {
        std::fprintf(stderr, "parvane-cli: cannot start the thread that writes the log (error %d)\n", error);
        return kExitFailed;
    }
    SetLogTarget(StdoutLogTarget());
    if (options.trace) {
        AddTransactionObserver(TraceTransaction);
    }
    ApplyFaultOptions(options.faults);
    LogFaultRules();
    ApplyGeneratorOptions(options.generators);
    LogGenerators();
    if (!options.captureFile.empty() && !StartCapture(options.captureFile, &problem)) {
        std::fprintf(stderr, "parvane-cli: %s\n", problem.c_str());
        DestroyDataTables();
        return FinishLog(kExitBadOption);
    }
    InitSlotTable();
    InitServerControl(options.bindAddress.c_str(), options.port);
    if (int status = 0; !StartControlInterface(options.control, &status)) {
        StopCapture();
        ReleaseEverything();
        return FinishLog(status);
    }

    int startError = StartServer();
    if (startError != 0) {
        if (startError == kWsaEacces && options.port < kFirstUnprivilegedPort && LowPortsNeedPrivilege()) {
            std::fprintf(stderr,
                         "parvane-cli: ports below 1024 need privilege: choose another port with --port (for "
                         "example --port 5020), run as root, or grant the capability with "
                         "'sudo setcap cap_net_bind_service=+ep %s'\n",
                         ProgramPath(argv[0]).c_str());
        }
        StopControlInterface();
        StopCapture();
        ReleaseEverything();
        return FinishLog(kExitFailed);
    }
    int status = RunUntilStopped(options.control.httpEnabled) ? kExitStopped : kExitFailed;
    // No request may change the values once they are being saved.
    StopControlInterface();
    StopCapture();
    if (!SaveServedData(options)) {
        status = kExitFailed;
    }
    ReleaseEverything();
    return FinishLog(status);
}
