#include "console/generators_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "generators/generators.h"

namespace {

constexpr int kGeneratorList = 1601;
constexpr int kGeneratorBox = 1602;
constexpr int kAddButton = 1603;
constexpr int kProblemLabel = 1604;
constexpr int kRemoveButton = 1605;

}  // namespace

GeneratorsDialog::GeneratorsDialog(QWidget* owner) : TemplateDialog(kGeneratorsTemplate, owner)
{
    auto* list = ControlOf<QTreeWidget>(kGeneratorList);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    auto* box = ControlOf<QLineEdit>(kGeneratorBox);
    box->setMaxLength(kGeneratorTextSize - 1);
    connect(box, &QLineEdit::textChanged, this, &GeneratorsDialog::CheckGeneratorText);
    CheckGeneratorText(QString());
    FillGenerators();
    box->setFocus();
}

void GeneratorsDialog::OnCommand(int controlId)
{
    switch (controlId) {
    case kAddButton:
        AddGeneratorFromBox();
        break;
    case kRemoveButton:
        RemoveSelectedGenerator();
        break;
    case kCancelCommand:
        done(kCancelCommand);
        break;
    default:
        break;
    }
}

void GeneratorsDialog::FillGenerators()
{
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    const int count = CopyGenerators(views.data());
    auto* list = ControlOf<QTreeWidget>(kGeneratorList);
    list->clear();
    for (int index = 0; index < count; ++index) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::number(views[index].id));
        item->setText(1, QString::fromLatin1(views[index].text));
        list->addTopLevelItem(item);
    }
    Control(kRemoveButton)->setEnabled(count > 0);
}

// Read as typed: the problem shown beneath the box, and Add only for a text that can be added.
void GeneratorsDialog::CheckGeneratorText(const QString& text)
{
    Generator generator;
    std::string problem;
    const bool empty = text.trimmed().isEmpty();
    const bool readable = !empty && ParseGenerator(text.toStdString(), &generator, &problem);
    ControlOf<QLabel>(kProblemLabel)->setText(empty || readable ? QString() : QString::fromStdString(problem));
    Control(kAddButton)->setEnabled(readable);
}

void GeneratorsDialog::AddGeneratorFromBox()
{
    auto* box = ControlOf<QLineEdit>(kGeneratorBox);
    std::string problem;
    if (AddGenerator(box->text().toStdString(), &problem) == 0) {
        ControlOf<QLabel>(kProblemLabel)->setText(QString::fromStdString(problem));
        return;
    }
    box->clear();
    FillGenerators();
    box->setFocus();
}

void GeneratorsDialog::RemoveSelectedGenerator()
{
    QTreeWidgetItem* item = ControlOf<QTreeWidget>(kGeneratorList)->currentItem();
    if (item == nullptr) {
        return;
    }
    RemoveGenerator(item->text(0).toUInt());
    FillGenerators();
}
