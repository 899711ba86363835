#pragma once

#include <QString>

class QWidget;

// The main window's Capture button. Pressed while no capture runs, it asks for a file and starts
// writing every connection into it; a file that cannot be created is said in a message box and
// nothing starts. Pressed while a capture runs (from here, --capture or the control interface), it
// ends it. Window thread only.
void PressCaptureButton(QWidget* window);

// The button's caption for the capture as it is now; RefreshThread's refresh keeps it in step.
QString CaptureCaption();
