#include "console/about_dialog.h"

AboutDialog::AboutDialog(QWidget* owner) : TemplateDialog(kAboutTemplate, owner) {}

void AboutDialog::OnCommand(int controlId)
{
    if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}
