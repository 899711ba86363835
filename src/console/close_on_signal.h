#pragma once

class QWidget;

// Turns SIGTERM, SIGINT and SIGHUP into the window's close request, so that a terminal's Ctrl+C
// or a `kill` ends the console the same orderly way as its close button: the server stops, every
// connection is closed, and the program exits with 0. The handler only writes a byte to a pipe;
// the window thread reads it and closes the window. Answers false if the pipe cannot be made.
bool CloseOnTerminationSignal(QWidget* window);
