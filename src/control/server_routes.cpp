#include <mutex>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/log_history.h"
#include "server/server_control.h"

namespace {

// One start or stop through the interface at a time, so that of two starts sent together one is
// answered 409. Held while the server starts or stops; nothing else takes it.
std::mutex ServerCommandLock;

JsonDocument RunningDocument()
{
    return JsonDocument{{"running", IsServerRunning()}};
}

}  // namespace

void StartServerRoute(const httplib::Request&, httplib::Response& response)
{
    std::lock_guard<std::mutex> hold(ServerCommandLock);
    if (IsServerRunning()) {
        AnswerError(response, 409, "the server is already running");
        return;
    }
    // A failed start has logged why on this thread; the answer carries the same words.
    ThreadLogCapture logged;
    if (StartServer() != 0) {
        AnswerError(response, 500, "the server did not start: " + logged.Text());
        return;
    }
    AnswerJson(response, RunningDocument());
}

void StopServerRoute(const httplib::Request&, httplib::Response& response)
{
    std::lock_guard<std::mutex> hold(ServerCommandLock);
    if (!IsServerRunning()) {
        AnswerError(response, 409, "the server is already stopped");
        return;
    }
    StopServer();
    // Bounded by the server's own stop: every connection ends within its send time-out.
    WaitServerStopped();
    AnswerJson(response, RunningDocument());
}
