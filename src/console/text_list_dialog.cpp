#include "console/text_list_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

TextListDialog::TextListDialog(const DialogTemplate& dialogTemplate, QWidget* owner, int firstControlId,
                               int maxTextLength)
    : TemplateDialog(dialogTemplate, owner),
      listId(firstControlId + 1),
      lineId(firstControlId + 2),
      addId(firstControlId + 3),
      problemId(firstControlId + 4),
      removeId(firstControlId + 5)
{
    auto* list = ControlOf<QTreeWidget>(listId);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    ControlOf<QLineEdit>(lineId)->setMaxLength(maxTextLength);
}

void TextListDialog::Begin()
{
    auto* line = ControlOf<QLineEdit>(lineId);
    connect(line, &QLineEdit::textChanged, this, &TextListDialog::CheckText);
    CheckText(QString());
    FillList();
    line->setFocus();
}

void TextListDialog::OnCommand(int controlId)
{
    if (controlId == addId) {
        AddFromLine();
    } else if (controlId == removeId) {
        RemoveSelected();
    } else if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}

void TextListDialog::FillList()
{
    const std::vector<Row> rows = Rows();
    auto* list = ControlOf<QTreeWidget>(listId);
    list->clear();
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::number(row.id));
        item->setText(1, row.text);
        list->addTopLevelItem(item);
    }
    Control(removeId)->setEnabled(!rows.empty());
}

// Read as typed: the problem shown beneath the line, and Add only for a text that can be added.
void TextListDialog::CheckText(const QString& text)
{
    std::string problem;
    const bool empty = text.trimmed().isEmpty();
    const bool readable = !empty && Readable(text.toStdString(), &problem);
    ControlOf<QLabel>(problemId)->setText(empty || readable ? QString() : QString::fromStdString(problem));
    Control(addId)->setEnabled(readable);
}

void TextListDialog::AddFromLine()
{
    auto* line = ControlOf<QLineEdit>(lineId);
    std::string problem;
    if (!Add(line->text().toStdString(), &problem)) {
        ControlOf<QLabel>(problemId)->setText(QString::fromStdString(problem));
        return;
    }
    line->clear();
    FillList();
    line->setFocus();
}

void TextListDialog::RemoveSelected()
{
    QTreeWidgetItem* item = ControlOf<QTreeWidget>(listId)->currentItem();
    if (item == nullptr) {
        return;
    }
    Remove(item->text(0).toUInt());
    FillList();
}
