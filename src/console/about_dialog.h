#pragma once

#include "console/template_dialog.h"

// Template 118: the program's name, version and licence. OK, Enter, Escape and the close button
// end it.
class AboutDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* owner);

protected:
    void OnCommand(int controlId) override;
};
