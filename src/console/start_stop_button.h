#pragma once

// The Start/Stop button: stops a running server and starts a stopped one.
void PressStartStop();
