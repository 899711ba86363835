#include "console/faults_dialog.h"

#include "faults/fault_rules.h"

namespace {

// The rule list, its line, Add, the problem, Remove (1501-1505), then Refresh.
constexpr int kFirstControlId = 1500;
constexpr int kRefreshButton = 1506;

QString RuleLine(const FaultRuleView& view)
{
    return QStringLiteral("%1   (acted %2 of %3 matching)")
        .arg(QString::fromLatin1(view.text))
        .arg(view.acted)
        .arg(view.matched);
}

}  // namespace

FaultsDialog::FaultsDialog(QWidget* owner)
    : TextListDialog(kFaultsTemplate, owner, kFirstControlId, kFaultRuleTextSize - 1)
{
    Begin();
}

void FaultsDialog::OnCommand(int controlId)
{
    if (controlId == kRefreshButton) {
        FillList();
    } else {
        TextListDialog::OnCommand(controlId);
    }
}

std::vector<TextListDialog::Row> FaultsDialog::Rows()
{
    FaultRuleView views[kMaxFaultRules];
    const int count = CopyFaultRules(views);
    std::vector<Row> rows;
    for (int index = 0; index < count; ++index) {
        rows.push_back(Row{views[index].id, RuleLine(views[index])});
    }
    return rows;
}

bool FaultsDialog::Readable(const std::string& text, std::string* problem)
{
    FaultRule rule;
    return ParseFaultRule(text, &rule, problem);
}

bool FaultsDialog::Add(const std::string& text, std::string* problem)
{
    return AddFaultRule(text, problem) != 0;
}

void FaultsDialog::Remove(unsigned id)
{
    RemoveFaultRule(id);
}
