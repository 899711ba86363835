#pragma once

#include "console/text_list_dialog.h"

// Template 120: the value generators in force, a line to add one and a button to remove the
// selected one.
class GeneratorsDialog : public TextListDialog {
    Q_OBJECT

public:
    explicit GeneratorsDialog(QWidget* owner);

protected:
    std::vector<Row> Rows() override;
    bool Readable(const std::string& text, std::string* problem) override;
    bool Add(const std::string& text, std::string* problem) override;
    void Remove(unsigned id) override;
};
