#include <mutex>
#include <string>

#include "capture/capture_file.h"
#include "control/control_routes.h"
#include "control/http_answers.h"

namespace {

// One start or end of a capture through the interface at a time, so that of two starts sent
// together one is answered 409 and not 400. Nothing else takes it.
std::mutex CaptureCommandLock;

JsonDocument CaptureDocument()
{
    std::string file;
    if (!IsCapturing(&file)) {
        return JsonDocument{{"capturing", false}};
    }
    return JsonDocument{{"capturing", true}, {"file", file}};
}

}  // namespace

bool ReadCaptureRequest(const JsonDocument& document, std::string* file, std::string* problem)
{
    if (!document.is_object()) {
        *problem = "expected an object such as {\"file\": \"/tmp/modbus.pcap\"}";
        return false;
    }
    if (!HasOnlyMembers(document, "", {"file"}, problem)) {
        return false;
    }
    if (!document.contains("file") || !document["file"].is_string() || document["file"].get<std::string>().empty()) {
        *problem = "file: expected the capture file's name as a non-empty string";
        return false;
    }
    *file = document["file"].get<std::string>();
    return true;
}

void AnswerCapture(const httplib::Request&, httplib::Response& response)
{
    AnswerJson(response, CaptureDocument());
}

void StartCaptureRoute(const httplib::Request& request, httplib::Response& response)
{
    JsonDocument document;
    if (!ReadJsonBody(request, response, &document)) {
        return;
    }
    std::string file;
    std::string problem;
    if (!ReadCaptureRequest(document, &file, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    std::lock_guard<std::mutex> hold(CaptureCommandLock);
    std::string running;
    if (IsCapturing(&running)) {
        AnswerError(response, 409, "a capture to " + running + " is already running; end it with DELETE first");
        return;
    }
    if (!StartCapture(file, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    AnswerJson(response, CaptureDocument());
}

void StopCaptureRoute(const httplib::Request&, httplib::Response& response)
{
    std::lock_guard<std::mutex> hold(CaptureCommandLock);
    std::string running;
    if (!IsCapturing(&running)) {
        AnswerError(response, 409, "no capture is running");
        return;
    }
    StopCapture();
    AnswerJson(response, CaptureDocument());
}
