#include "console/console_application.h"

#include <QMessageBox>

#include <cstdio>

#include "console/close_on_signal.h"
#include "console/console_font.h"
#include "console/exit_event.h"
#include "console/main_window.h"
#include "control/state_file.h"
#include "faults/fault_options.h"
#include "generators/generator_options.h"
#include "modbus/standard_limits.h"
#include "platform/socket.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

int FailStartup(const char* message)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Parvane"), QString::fromLatin1(message), QMessageBox::Ok);
    box.exec();
    return -1;
}

// A refused state file is an operator error, not a start-up failure: the box says why, and the
// console starts with the defaults, which the refused file has left untouched.
void LoadStateOrWarn(const std::string& path)
{
    std::string problem;
    if (!path.empty() && !LoadStateFile(path, &problem)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Parvane"), QString::fromStdString(problem), QMessageBox::Ok);
        box.exec();
    }
}

// The window is gone by now, so a failure can only be told on standard error.
bool SaveState(const std::string& path)
{
    std::string problem;
    if (!path.empty() && !SaveStateFile(path, &problem)) {
        std::fprintf(stderr, "parvane: %s\n", problem.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool StartSockets()
{
    // The sockets API here needs no library start-up; what can fail is the network subsystem
    // itself (no IPv4 TCP in the kernel, sockets denied to the process, no descriptors left).
    // One probe socket tells.
    int error = 0;
    const SocketHandle probe = CreateTcpSocket(&error);
    if (probe == kNoSocket) {
        return false;
    }
    CloseSocket(probe);
    return true;
}

StartupSteps SystemStartupSteps()
{
    return StartupSteps{StartSockets, CreateExitEvent};
}

int RunConsole(const ConsoleOptions& options, const StartupSteps& steps,
               const std::function<void(MainWindow*)>& windowOpened)
{
    // The sockets API here has no version to negotiate: the socket start-up's only failure is
    // the subsystem's.
    if (!steps.startSockets()) {
        return FailStartup("WinSock startup failed");
    }
    if (!steps.createExitEvent()) {
        return FailStartup("Unable to create 'Exit' event object");
    }
    InitDataTables();
    SetStandardLimits(options.standardLimits);
    LoadStateOrWarn(options.control.loadFile);
    // In force from the server's first start; the main window logs them once it takes the log.
    ApplyFaultOptions(options.faults);
    ApplyGeneratorOptions(options.generators);
    InitSlotTable();
    InitServerControl(options.bindAddress.c_str(), options.port);
    CreateConsoleFont();

    {
        MainWindow window(StartRefreshThread, options.control);
        // Where the server listens, so that the operator can point a client at it: the port the system
        // chose for port 0 once the server runs (the window keeps it up to date at each start).
        const uint16_t port = ListeningPort() != 0 ? ListeningPort() : options.port;
        window.setWindowTitle(QStringLiteral("Parvane - %1:%2").arg(QString::fromStdString(options.bindAddress)).arg(port));
        CloseOnStopSignal(&window);
        if (windowOpened) {
            windowOpened(&window);
        }
        window.exec();
    }
    // The window has ended after the server's stop: the tables hold what the clients left.
    const bool saved = SaveState(options.control.saveFile);

    DestroyConsoleFont();
    DestroyServerControl();
    DestroySlotTable();
    DestroyDataTables();
    DestroyExitEvent();
    return saved ? 0 : 1;
}
