#include "console/faults_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <string>

#include "faults/fault_rules.h"

namespace {

constexpr int kRuleList = 1501;
constexpr int kRuleBox = 1502;
constexpr int kAddButton = 1503;
constexpr int kProblemLabel = 1504;
constexpr int kRemoveButton = 1505;
constexpr int kRefreshButton = 1506;

QString RuleLine(const FaultRuleView& view)
{
    return QStringLiteral("%1   (acted %2 of %3 matching)")
        .arg(QString::fromLatin1(view.text))
        .arg(view.acted)
        .arg(view.matched);
}

}  // namespace

FaultsDialog::FaultsDialog(QWidget* owner) : TemplateDialog(kFaultsTemplate, owner)
{
    auto* list = ControlOf<QTreeWidget>(kRuleList);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    auto* box = ControlOf<QLineEdit>(kRuleBox);
    box->setMaxLength(kFaultRuleTextSize - 1);
    connect(box, &QLineEdit::textChanged, this, &FaultsDialog::CheckRuleText);
    CheckRuleText(QString());
    FillRules();
    box->setFocus();
}

void FaultsDialog::OnCommand(int controlId)
{
    switch (controlId) {
    case kAddButton:
        AddRule();
        break;
    case kRemoveButton:
        RemoveSelectedRule();
        break;
    case kRefreshButton:
        FillRules();
        break;
    case kCancelCommand:
        done(kCancelCommand);
        break;
    default:
        break;
    }
}

void FaultsDialog::FillRules()
{
    FaultRuleView views[kMaxFaultRules];
    const int count = CopyFaultRules(views);
    auto* list = ControlOf<QTreeWidget>(kRuleList);
    list->clear();
    for (int index = 0; index < count; ++index) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::number(views[index].id));
        item->setText(1, RuleLine(views[index]));
        list->addTopLevelItem(item);
    }
    Control(kRemoveButton)->setEnabled(count > 0);
}

// Read as typed: the problem shown beneath the box, and Add only for a rule that can be added.
void FaultsDialog::CheckRuleText(const QString& text)
{
    FaultRule rule;
    std::string problem;
    const bool empty = text.trimmed().isEmpty();
    const bool readable = !empty && ParseFaultRule(text.toStdString(), &rule, &problem);
    ControlOf<QLabel>(kProblemLabel)->setText(empty || readable ? QString() : QString::fromStdString(problem));
    Control(kAddButton)->setEnabled(readable);
}

void FaultsDialog::AddRule()
{
    auto* box = ControlOf<QLineEdit>(kRuleBox);
    std::string problem;
    if (AddFaultRule(box->text().toStdString(), &problem) == 0) {
        ControlOf<QLabel>(kProblemLabel)->setText(QString::fromStdString(problem));
        return;
    }
    box->clear();
    FillRules();
    box->setFocus();
}

void FaultsDialog::RemoveSelectedRule()
{
    QTreeWidgetItem* item = ControlOf<QTreeWidget>(kRuleList)->currentItem();
    if (item == nullptr) {
        return;
    }
    RemoveFaultRule(item->text(0).toUInt());
    FillRules();
}
