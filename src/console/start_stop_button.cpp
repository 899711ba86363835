#include "console/start_stop_button.h"

#include "console/exit_event.h"
#include "server/server_control.h"

void PressStartStop()
{
    if (IsExitEventSignalled()) {
        return;
    }
    if (IsServerRunning()) {
        StopServer();
    } else {
        StartServer();
    }
}
