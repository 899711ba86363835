#pragma once

#include "console/text_list_dialog.h"

// Template 119: the fault rules in force with how often each acted, a line to add one and a button
// to remove the selected one. The counts are those of the moment the list was filled; "Refresh"
// fills it again.
class FaultsDialog : public TextListDialog {
    Q_OBJECT

public:
    explicit FaultsDialog(QWidget* owner);

protected:
    void OnCommand(int controlId) override;
    std::vector<Row> Rows() override;
    bool Readable(const std::string& text, std::string* problem) override;
    bool Add(const std::string& text, std::string* problem) override;
    void Remove(unsigned id) override;
};
