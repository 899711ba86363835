#pragma once

#include <cstdint>
#include <string>

#include "control/control_options.h"

// The HTTP control interface: an HTTP server on threads of its own, bound to --http ADDRESS:PORT,
// with the routes of control_routes.h. Started before the Modbus server first starts (it adds the
// log and transaction observers that feed its histories) and stopped before the program ends.

enum class ControlStart {
    kStarted,        // serving; "HTTP control interface on ADDRESS:PORT" has been logged
    kNotAsked,       // --http was not given: nothing was started, no observer added
    kTokenRefused,   // the token file could not be read or holds no token (a bad option)
    kFailed,         // the address could not be bound, or another start step failed
};

// Starts the interface as `options` ask; on anything but kStarted and kNotAsked, *problem is one
// line saying why. Does nothing while it runs already.
ControlStart StartControlServer(const ControlOptions& options, std::string* problem);

// Ends every wait of a request at once, stops taking requests, and returns once the interface's
// threads have ended: within the HTTP read and write time-outs, or once a stop of the Modbus server
// that a request asked for has finished. A request may log meanwhile, so a thread that log lines
// wait for (the console's window thread) must not call it. Does nothing while stopped.
void StopControlServer();

// The port the interface listens on (the system's choice when --http asked for port 0); 0 while
// it is stopped. Any thread.
uint16_t ControlServerPort();
