#pragma once

#include <QString>

#include <string>
#include <vector>

#include "console/template_dialog.h"

// A dialog for a list of texts that the core keeps by number, such as the fault rules and the
// generators: the list, a line to add one (read as it is typed, its problem shown beneath it) and
// a button to remove the selected one. Its template has the list, the line, Add, the problem
// label and Remove at firstControlId + 1 to firstControlId + 5.
class TextListDialog : public TemplateDialog {
    Q_OBJECT

public:
    TextListDialog(const DialogTemplate& dialogTemplate, QWidget* owner, int firstControlId, int maxTextLength);

protected:
    struct Row {
        unsigned id;
        QString text;
    };

    // Fills the list and readies the line; the derived dialog's constructor calls it last.
    void Begin();
    void FillList();
    // Add, Remove and the dialog's close.
    void OnCommand(int controlId) override;

    virtual std::vector<Row> Rows() = 0;
    // Whether the text could be added, and if not, why.
    virtual bool Readable(const std::string& text, std::string* problem) = 0;
    virtual bool Add(const std::string& text, std::string* problem) = 0;
    virtual void Remove(unsigned id) = 0;

private:
    void CheckText(const QString& text);
    void AddFromLine();
    void RemoveSelected();

    const int listId;
    const int lineId;
    const int addId;
    const int problemId;
    const int removeId;
};
