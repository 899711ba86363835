#pragma once

#include "console/template_dialog.h"

class MainWindow;

// Template 117: the last request and response of the connection viewed in the main window, as
// they were when the dialog opened or when "Refresh" was last pressed; it does not follow them.
class IoBuffersDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit IoBuffersDialog(MainWindow* owner);

protected:
    void OnCommand(int controlId) override;

private:
    void FillIoBuffers();

    MainWindow* owner;
};
