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

}  // namespace

void AnswerGenerators(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, GeneratorsDocument());
}

void PostGenerator(const httplib::Request& request, httplib::Response& response)
{
    std::string text;
    if (!ReadTextBody(request, response, "generator", "registers 0 uint16 counter", &text)) {
        return;
    }
    Generator generator;
    std::string problem;
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
    uint32_t id = 0;
    if (!ReadPathId(request, response, "generator", &id)) {
        return;
    }
    if (!RemoveGenerator(id)) {
        AnswerError(response, 404, "there is no generator with id " + std::to_string(id));
        return;
    }
    AnswerJson(response, GeneratorsDocument());
}

void DeleteGenerators(const httplib::Request&, httplib::Response& response)
{
    ClearGenerators();
    AnswerJson(response, GeneratorsDocument());
}
