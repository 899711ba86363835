#include <algorithm>
#include <cstdint>
#include <string>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "faults/fault_rules.h"

namespace {

JsonDocument RuleDocument(const FaultRuleView& view)
{
    return JsonDocument{{"id", view.id}, {"rule", view.text}, {"matched", view.matched}, {"count", view.acted}};
}

// The rules in order, with how often each matched and acted.
JsonDocument RulesDocument()
{
    FaultRuleView views[kMaxFaultRules];
    const int count = CopyFaultRules(views);
    JsonDocument rules = JsonDocument::array();
    for (int index = 0; index < count; ++index) {
        rules.push_back(RuleDocument(views[index]));
    }
    return JsonDocument{{"rules", rules}};
}

}  // namespace

void AnswerFaults(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, RulesDocument());
}

void PostFault(const httplib::Request& request, httplib::Response& response)
{
    std::string text;
    if (!ReadTextBody(request, response, "rule", "drop fc=3", &text)) {
        return;
    }
    std::string problem;
    FaultRule rule;
    if (!ParseFaultRule(text, &rule, &problem)) {
        AnswerError(response, 400, "rule: " + problem);
        return;
    }
    const uint32_t id = AddFaultRule(text, &problem);
    if (id == 0) {
        AnswerError(response, 409, problem);   // the set is full
        return;
    }
    FaultRuleView added{id, {}, 0, 0};
    std::copy(rule.text, rule.text + sizeof rule.text, added.text);
    AnswerJson(response, RuleDocument(added), 201);
}

void DeleteFault(const httplib::Request& request, httplib::Response& response)
{
    uint32_t id = 0;
    if (!ReadPathId(request, response, "fault rule", &id)) {
        return;
    }
    if (!RemoveFaultRule(id)) {
        AnswerError(response, 404, "there is no fault rule with id " + std::to_string(id));
        return;
    }
    AnswerJson(response, RulesDocument());
}

void DeleteFaults(const httplib::Request&, httplib::Response& response)
{
    ClearFaultRules();
    AnswerJson(response, RulesDocument());
}
