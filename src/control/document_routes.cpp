#include <mutex>
#include <string>

#include "control/config_document.h"
#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/state_document.h"
#include "server/served_settings.h"

namespace {

// Guards the read of the settings that a partial config is laid over, through the apply of the
// result, so that two PUTs changing different members both take effect instead of the later one
// putting back what the earlier one changed. The console's dialog does not take it: an operator's
// change may still cross a request's, as it may cross a Modbus client's.
std::mutex SettingsChangeLock;

}  // namespace

void AnswerConfig(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, BuildConfigDocument(ReadServedSettings()));
}

void PutConfig(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    std::string problem;
    ServedSettings settings{};
    bool accepted = false;
    {
        std::lock_guard<std::mutex> hold(SettingsChangeLock);
        accepted = ParseConfigDocument(document, "", ReadServedSettings(), &settings, &problem);
        if (accepted) {
            ApplyServedSettings(settings);
        }
    }
    if (!accepted) {
        AnswerError(response, 400, problem);
        return;
    }
    AnswerJson(response, BuildConfigDocument(ReadServedSettings()));
}

void AnswerState(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, BuildStateDocument());
}

void PutState(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    StateDocument state;
    std::string problem;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    if (!ParseStateDocument(document, &state, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(SettingsChangeLock);
        ApplyStateDocument(state);
    }
    AnswerJson(response, BuildStateDocument());
}
