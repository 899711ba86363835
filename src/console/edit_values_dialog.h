#pragma once

#include "console/template_dialog.h"

class MainWindow;

// Template 111: new values for the thirty cells the grid shows. Only boxes with text are written,
// straight into the table, ignoring its window and the function enables; a box that holds no
// value the cell can take is refused before anything is written. The boxes of cells past the
// table's end are disabled.
class EditValuesDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit EditValuesDialog(MainWindow* owner);

protected:
    void OnCommand(int controlId) override;

private:
    bool WriteTypedValues();

    MainWindow* owner;
};
