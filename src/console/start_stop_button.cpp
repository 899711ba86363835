#include "console/start_stop_button.h"

#include "server/server_control.h"

void PressStartStop()
{
    if (IsServerRunning()) {
        StopServer();
    } else {
        StartServer();
    }
}
