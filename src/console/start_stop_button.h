#pragma once

// The Start/Stop button: stops a running server and starts a stopped one. Once the operator has
// closed the window it does nothing: RefreshThread is stopping the server by then, and a start
// after its stop would leave the server running behind the window's end, or keep the wait for the
// stop from ever returning.
void PressStartStop();
