#include "console/console_application.h"

#include <QMessageBox>

#include <csignal>

#include "console/close_on_signal.h"
#include "console/console_font.h"
#include "console/exit_event.h"
#include "console/main_window.h"
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
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

StartupSteps SystemStartupSteps()
{
    return StartupSteps{StartSockets, CreateExitEvent};
}

int RunConsole(const ConsoleOptions& options, const StartupSteps& steps,
               const std::function<void(MainWindow*)>& windowOpened)
{
    // The sockets API here has no version to negotiate, so the version check of a Windows start-up
    // has no counterpart: the only socket start-up that can fail is the one above.
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
        MainWindow window;
        CloseOnTerminationSignal(&window);
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
