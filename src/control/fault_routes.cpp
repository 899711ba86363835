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

// {"rule": "drop fc=3 every=5"}: the one member, a string.
bool ReadRuleBody(const JsonDocument& document, std::string* text, std::string* problem)
{
    if (!document.is_object()) {
        *problem = "expected an object such as {\"rule\": \"drop fc=3\"}, got " + JsonText(document);
        return false;
    }
    if (!HasOnlyMembers(document, "", {"rule"}, problem)) {
        return false;
    }
    if (!document.contains("rule") || !document["rule"].is_string()) {
        *problem = "rule: must be a string such as \"drop fc=3\"";
        return false;
    }
    *text = document["rule"].get<std::string>();
    return true;
}

}  // namespace

void AnswerFaults(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, RulesDocument());
}

void PostFault(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    std::string text;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ReadRuleBody(document, &text, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
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
    const std::string idText = request.matches.size() > 1 ? request.matches[1].str() : "";
    uint64_t id = 0;
    if (idText.empty() || idText.size() > 10 || idText.find_first_not_of("0123456789") != std::string::npos ||
        (id = std::stoull(idText)) == 0 || id > UINT32_MAX) {
        AnswerError(response, 400, "'" + idText + "' is not a fault rule id: expected a number from 1 to 4294967295");
        return;
    }
    if (!RemoveFaultRule(static_cast<uint32_t>(id))) {
        AnswerError(response, 404, "there is no fault rule with id " + idText);
        return;
    }
    AnswerJson(response, RulesDocument());
}

void DeleteFaults(const httplib::Request&, httplib::Response& response)
{
    ClearFaultRules();
    AnswerJson(response, RulesDocument());
}
