#pragma once

#include <QDialog>

#include "console/dialog_builder.h"
#include "console/dialog_template.h"

// A modal dialog made from a template. Every click on a button of the template reaches OnCommand
// with the button's identifier; Escape and the caption's close button send kCancelCommand.
class TemplateDialog : public QDialog {
    Q_OBJECT

public:
    TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* owner);

    QWidget* Control(int controlId) const { return FindControl(this, controlId); }

    template <class Widget>
    Widget* ControlOf(int controlId) const
    {
        return ControlAs<Widget>(this, controlId);
    }

    void reject() override;

protected:
    // An operator's error: a warning message box owned by the dialog, captioned "Parvane", with
    // an OK button only; once it is closed, the focus goes to the box to correct.
    void WarnOperator(const char* message, int focusControlId);

    virtual void OnCommand(int controlId) = 0;
    void showEvent(QShowEvent* event) override;

private:
    const DialogTemplate& dialogTemplate;
    bool placed = false;
};

// Text of a control that shows text (label, edit, button), or an empty string.
QString ControlText(const QWidget* control);
