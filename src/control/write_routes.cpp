#include <string>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/value_run.h"

namespace {

// {"start": S, "count": N}: what a write answers, so that a script sees what it changed.
void AnswerWritten(httplib::Response& response, uint16_t start, size_t count)
{
    AnswerJson(response, JsonDocument{{"start", start}, {"count", count}});
}

}  // namespace

void PutRegisters(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    RegisterRun run;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ParseRegisterRun(document, "", &run, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    ApplyRegisterRun(run);
    AnswerWritten(response, run.start, run.values.size());
}

void PutCoils(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    CoilRun run;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ParseCoilRun(document, "", &run, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    ApplyCoilRun(run);
    AnswerWritten(response, run.start, run.values.size());
}
