#include "console/console_application.h"

#include <QMessageBox>

#include "console/close_on_signal.h"
#include "console/console_font.h"
#include "console/exit_event.h"
#include "console/main_window.h"
#include "platform/socket.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

int FailStartup(const char* message)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Parvane"), QString::fromLatin1(message), QMessageBox::Ok);
    box.exec();
    return -1;
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
    InitRegisterTable();
    InitCoilTable();
    InitSlotTable();
    InitServerControl(options.bindAddress.c_str(), options.port);
    CreateConsoleFont();

    {
        MainWindow window(StartRefreshThread, options.control);
        // Where the server listens, so that the operator can point a client at it.
        window.setWindowTitle(QStringLiteral("Parvane - %1:%2").arg(QString::fromStdString(options.bindAddress)).arg(options.port));
        CloseOnStopSignal(&window);
        if (windowOpened) {
            windowOpened(&window);
        }
        window.exec();
    }

    DestroyConsoleFont();
    DestroyServerControl();
    DestroySlotTable();
    DestroyCoilTable();
    DestroyRegisterTable();
    DestroyExitEvent();
    return 0;
}
