#pragma once

class QWidget;

// Turns SIGINT, SIGTERM and SIGHUP into the window's close request, so that a terminal's Ctrl+C, a
// `kill` or a closed terminal ends the console the same orderly way as its close button: the server
// stops, every connection is closed and logged, and the program exits with 0. The signals are taken synchronously (main blocks
// them with BlockStopSignals before any thread exists); the window thread looks for one every
// 100 ms without waiting.
void CloseOnStopSignal(QWidget* window);
