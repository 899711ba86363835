#include <cstdint>
#include <string>
#include <vector>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "generators/generators.h"

namespace {

JsonDocument GeneratorDocument(uint32_t id, const char* text)
{
    return JsonDocument{{"id", id}, {"text", text}};
}

// The generators in order.
JsonDocument GeneratorsDocument()
{
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    const int count = CopyGenerators(views.data());
    JsonDocument generators = JsonDocument::array();
    for (int index = 0; index < count; ++index) {
        generators.push_back(GeneratorDocument(views[index].id, views[index].text));
    }
    return JsonDocument{{"generators", generators}};
}

// {"generator": "registers 0 uint16 counter"}: the one member, a string.
bool ReadGeneratorBody(const JsonDocument& document, std::string* text, std::string* problem)
{
    if (!document.is_object()) {
        *problem = "expected an object such as {\"generator\": \"registers 0 uint16 counter\"}, got " +
                   JsonText(document);
        return false;
    }
    if (!HasOnlyMembers(document, "", {"generator"}, problem)) {
        return false;
    }
    if (!document.contains("generator") || !document["generator"].is_string()) {
        *problem = "generator: must be a string such as \"registers 0 uint16 counter\"";
        return false;
    }
    *text = document["generator"].get<std::string>();
    return true;
}

}  // namespace

void AnswerGenerators(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, GeneratorsDocument());
}

void PostGenerator(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    std::string text;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ReadGeneratorBody(document, &text, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    Generator generator;
    if (!ParseGenerator(text, &generator, &problem)) {
        AnswerError(response, 400, "generator: " + problem);
        return;
    }
    const uint32_t id = AddGenerator(text, &problem);
    if (id == 0) {
        AnswerError(response, 409, problem);   // the set is full
        return;
    }
    AnswerJson(response, GeneratorDocument(id, generator.text), 201);
}

void DeleteGenerator(const httplib::Request& request, httplib::Response& response)
{
    const std::string idText = request.matches.size() > 1 ? request.matches[1].str() : "";
    uint64_t id = 0;
    if (idText.empty() || idText.size() > 10 || idText.find_first_not_of("0123456789") != std::string::npos ||
        (id = std::stoull(idText)) == 0 || id > UINT32_MAX) {
        AnswerError(response, 400, "'" + idText + "' is not a generator id: expected a number from 1 to 4294967295");
        return;
    }
    if (!RemoveGenerator(static_cast<uint32_t>(id))) {
        AnswerError(response, 404, "there is no generator with id " + idText);
        return;
    }
    AnswerJson(response, GeneratorsDocument());
}

void DeleteGenerators(const httplib::Request&, httplib::Response& response)
{
    ClearGenerators();
    AnswerJson(response, GeneratorsDocument());
}
