#include <mutex>
#include <string>

#include "control/config_document.h"
#include "control/control_routes.h"
#include "control/device_id_document.h"
#include "control/http_answers.h"
#include "control/state_document.h"
#include "modbus/device_identification.h"
#include "server/served_settings.h"

namespace {

// Guards the read of the settings that a partial document (config, device identification) is laid
// over, through the apply of the result, so that two PUTs changing different members both take
// effect instead of the later one putting back what the earlier one changed; a state PUT takes it
// too, since it replaces both. The console's dialog does not take it: an operator's change may
// still cross a request's, as it may cross a Modbus client's.
std::mutex SettingsChangeLock;

// PUT of a partial document: laid over what is in force, checked whole, applied, and answered
// with what is then in force.
template <typename Settings, typename Read, typename Parse, typename Apply, typename Build>
void PutPartialDocument(const httplib::Request& request, httplib::Response& response, Read read, Parse parse,
                        Apply apply, Build build)
{
    JsonDocument document;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    std::string problem;
    Settings settings{};
    bool accepted = false;
    {
        std::lock_guard<std::mutex> hold(SettingsChangeLock);
        accepted = parse(document, "", read(), &settings, &problem);
        if (accepted) {
            apply(settings);
        }
    }
    if (!accepted) {
        AnswerError(response, 400, problem);
        return;
    }
    AnswerJson(response, build(read()));
}

}  // namespace

void AnswerConfig(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, BuildConfigDocument(ReadServedSettings()));
}

void PutConfig(const httplib::Request& request, httplib::Response& response)
{
    PutPartialDocument<ServedSettings>(request, response, ReadServedSettings, ParseConfigDocument, ApplyServedSettings,
                                       BuildConfigDocument);
}

void AnswerDeviceId(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, BuildDeviceIdDocument(ReadDeviceIdentification()));
}

void PutDeviceId(const httplib::Request& request, httplib::Response& response)
{
    PutPartialDocument<DeviceIdentification>(request, response, ReadDeviceIdentification, ParseDeviceIdDocument,
                                             ApplyDeviceIdentification, BuildDeviceIdDocument);
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
