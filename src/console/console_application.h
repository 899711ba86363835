#pragma once

#include <functional>

#include "console/command_line.h"

class MainWindow;

// Start-up steps that can fail and end the program with a message box.
struct StartupSteps {
    bool (*startSockets)();      // false: "WinSock startup failed"
    bool (*createExitEvent)();   // false: "Unable to create 'Exit' event object"
};

// The steps the program really runs.
StartupSteps SystemStartupSteps();

// Socket start-up on this platform: false when the process cannot create a TCP socket at all, so
// that the server could never run.
bool StartSockets();

// The entry function once QApplication exists: brings up every process-wide object in order,
// runs the main window modally until it has ended (after the server's stop), tears down in
// reverse order and answers the exit code: 0 after a normal run, 1 when the state file of --save
// could not be written, -1 after a start-up failure. A state file of --load that is refused is
// shown in a message box, and the run goes on with the defaults.
// `windowOpened`, when given, is called with the main window just before it runs.
int RunConsole(const ConsoleOptions& options, const StartupSteps& steps = SystemStartupSteps(),
               const std::function<void(MainWindow*)>& windowOpened = {});
