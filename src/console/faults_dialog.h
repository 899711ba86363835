#pragma once

#include <QString>

#include "console/template_dialog.h"

// Template 119: the fault rules in force with how often each acted, a line to add one (read as it
// is typed, its error shown beneath it) and a button to remove the selected one. The counts are
// those of the moment the list was filled; "Refresh" fills it again.
class FaultsDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit FaultsDialog(QWidget* owner);

protected:
    void OnCommand(int controlId) override;

private:
    void FillRules();
    void CheckRuleText(const QString& text);
    void AddRule();
    void RemoveSelectedRule();
};
