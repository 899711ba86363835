#include <mutex>
#include <string>

#include "control/control_routes.h"
#include "control/device_id_document.h"
#include "control/http_answers.h"
#include "modbus/device_identification.h"

namespace {

// Guards the read of the objects that a partial document is laid over, through the apply of the
// result, so that two PUTs naming different objects both take effect.
std::mutex DeviceIdChangeLock;

}  // namespace

void AnswerDeviceId(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, BuildDeviceIdDocument(ReadDeviceIdentification()));
}

void PutDeviceId(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    std::string problem;
    DeviceIdentification identification{};
    bool accepted = false;
    {
        std::lock_guard<std::mutex> hold(DeviceIdChangeLock);
        accepted = ParseDeviceIdDocument(document, "", ReadDeviceIdentification(), &identification, &problem);
        if (accepted) {
            ApplyDeviceIdentification(identification);
        }
    }
    if (!accepted) {
        AnswerError(response, 400, problem);
        return;
    }
    AnswerJson(response, BuildDeviceIdDocument(ReadDeviceIdentification()));
}
