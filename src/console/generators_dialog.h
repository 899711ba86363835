#pragma once

#include <QString>

#include "console/template_dialog.h"

// Template 120: the value generators in force, a line to add one (read as it is typed, its error
// shown beneath it) and a button to remove the selected one.
class GeneratorsDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit GeneratorsDialog(QWidget* owner);

protected:
    void OnCommand(int controlId) override;

private:
    void FillGenerators();
    void CheckGeneratorText(const QString& text);
    void AddGeneratorFromBox();
    void RemoveSelectedGenerator();
};
