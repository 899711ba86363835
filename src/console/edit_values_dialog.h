#pragma once

#include "console/template_dialog.h"
#include "values/value_text.h"

class MainWindow;

// Template 111: new values for the thirty cells the grid shows, typed in the table's format. Only
// boxes with text are written, straight into the table, ignoring its window and the function
// enables, each value in one hold of the table's lock; a box that holds no value of the format is
// refused before anything is written. The boxes of cells past the table's end are disabled.
class EditValuesDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit EditValuesDialog(MainWindow* owner);

protected:
    void OnCommand(int controlId) override;

private:
    bool WriteTypedValues();
    void LayOutBoxes(ValueFormat format, int32_t start);

    MainWindow* owner;
};
