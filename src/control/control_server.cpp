#include "control/control_server.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <regex>
#include <memory>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "control/bearer_token.h"
#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/log_history.h"
#include "control/transaction_history.h"
#include "log/event_log.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "platform/standard_output.h"

namespace {

constexpr size_t kMaxBodyBytes = 4 * 1024 * 1024;   // a whole table of registers as JSON fits
// Requests served at once; a request that waits for the log holds one for up to 30 s.
constexpr size_t kWorkerThreads = 8;
// How long a client may take to send a request or to take an answer, and to send the next request
// on a kept-alive connection; they also bound how long a stop waits for a slow client.
constexpr time_t kReadTimeoutSeconds = 5;
constexpr time_t kWriteTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 2;
constexpr auto kReadyPoll = std::chrono::milliseconds(1);

// Guards Server, ListenThread and Token. Taken by start and stop only, never by a request.
std::mutex ControlServerLock;
std::unique_ptr<httplib::Server> Server;
std::thread ListenThread;
// Written before the listen thread starts and cleared after it has ended, so the request threads
// read it without a lock.
std::string Token;
std::atomic<uint16_t> Port{0};

// The rule of a status that no route answered itself, for the error shape.
std::string StatusSentence(int status)
{
    switch (status) {
    case 400:
        return "the request is not valid HTTP";
    case 404:
        return "no such path";
    case 413:
        return "the request body is larger than " + std::to_string(kMaxBodyBytes) + " bytes";
    case 414:
        return "the request's path and query are too long";
    default:
        return "the request failed with HTTP status " + std::to_string(status);
    }
}

// A request without Content-Length or Transfer-Encoding has no body (RFC 9112, 6.3), but the
// HTTP library reads a POST or PUT of that kind until the client closes, which a client that waits
// for its answer never does (`curl -X POST` sends no length). Saying so turns that into no body.
httplib::Server::HandlerResponse SayBodyIsEmpty(const httplib::Request& request, httplib::Response&)
{
    if (!request.has_header("Content-Length") && !request.has_header("Transfer-Encoding")) {
        // The library hands this hook a const view of its own, non-const request.
        const_cast<httplib::Request&>(request).set_header("Content-Length", "0");
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

// True when the request may go on; otherwise it has been answered 401.
bool Authorized(const httplib::Request& request, httplib::Response& response)
{
    if (Token.empty() || AuthorizationMatches(request.get_header_value("Authorization"), Token)) {
        return true;
    }
    response.set_header("WWW-Authenticate", "Bearer");
    AnswerError(response, 401,
                request.has_header("Authorization")
                    ? "the bearer token is wrong"
                    : "this interface needs the header 'Authorization: Bearer TOKEN' with the token of "
                      "--http-token-file");
    return false;
}

// Every request that no route takes: 405 with the methods its path has, or 404.
void AnswerUnrouted(const httplib::Request& request, httplib::Response& response)
{
    std::string allowed;
    for (const ControlRoute& route : ControlRoutes()) {
        if (std::regex_match(request.path, std::regex(route.path))) {
            allowed += (allowed.empty() ? "" : ", ") + std::string(route.method);
        }
    }
    if (allowed.empty()) {
        AnswerError(response, 404, "no such path: " + request.path);
        return;
    }
    response.set_header("Allow", allowed);
    AnswerError(response, 405, request.method + " is not allowed on " + request.path + "; use " + allowed);
}

// A route behind the token (unless it is open) and the boundary that no exception crosses. The
// library has read the whole body by now (or refused it with 413), so that a kept-alive connection
// stays in step whatever the answer.
httplib::Server::Handler Guarded(RouteHandler handler, RouteAccess access = RouteAccess::kTokenNeeded)
{
    return [handler, access](const httplib::Request& request, httplib::Response& response) {
        try {
            if (access == RouteAccess::kOpen || Authorized(request, response)) {
                handler(request, response);
            }
        } catch (...) {
            AnswerError(response, 500, "the request failed unexpectedly on " + request.path);
        }
    };
}

// The routes, then for every method a pattern that takes whatever they left.
void AddRoutes(httplib::Server* server)
{
    using Adder = httplib::Server& (httplib::Server::*)(const std::string&, httplib::Server::Handler);
    const struct {
        const char* method;
        Adder add;
    } kMethods[] = {{"GET", &httplib::Server::Get},       {"POST", &httplib::Server::Post},
                    {"PUT", &httplib::Server::Put},       {"PATCH", &httplib::Server::Patch},
                    {"DELETE", &httplib::Server::Delete}, {"OPTIONS", &httplib::Server::Options}};
    for (const auto& method : kMethods) {
        for (const ControlRoute& route : ControlRoutes()) {
            if (method.method == std::string(route.method)) {
                (server->*method.add)(route.path, Guarded(route.handler, route.access));
            }
        }
        (server->*method.add)(".*", Guarded(AnswerUnrouted));
    }
}

std::unique_ptr<httplib::Server> MakeServer()
{
    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server->set_read_timeout(kReadTimeoutSeconds);
    server->set_write_timeout(kWriteTimeoutSeconds);
    server->set_keep_alive_timeout(kKeepAliveSeconds);
    server->set_payload_max_length(kMaxBodyBytes);
    // The library's default also sets SO_REUSEPORT, which would let a second program bind the same
    // port and take half of the requests; a port in use must be refused instead.
    server->set_socket_options([](socket_t socket) { SetReuseAddress(socket); });
    // The library writes an answer's head and body separately: with Nagle's algorithm the body
    // would wait for the client's delayed acknowledgement of the head, some 40 ms.
    server->set_tcp_nodelay(true);
    server->set_pre_routing_handler(SayBodyIsEmpty);
    // Answers that no route built (bad HTTP, 413, 414) get the error shape too.
    server->set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            try {
                if (response.body.empty()) {
                    AnswerError(response, response.status, StatusSentence(response.status));
                }
            } catch (...) {
                AnswerError(response, response.status, "");
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    server->set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        AnswerError(response, 500, "the request failed unexpectedly");
    });
    AddRoutes(server.get());
    return server;
}

void CloseHistories()
{
    LogHistory().Close();
    TransactionHistory().Close();
}

// Under ControlServerLock: binds, starts the listen thread and waits until it serves, so that a
// stop right afterwards cannot be lost. 0, or the system's error number of a failed bind (-1 when
// there is none, or the server ended at once).
int Listen(const ControlOptions& options, uint16_t* port)
{
    std::unique_ptr<httplib::Server> server = MakeServer();
    errno = 0;
    if (options.httpPort == 0) {
        const int chosen = server->bind_to_any_port(options.httpAddress);
        if (chosen <= 0) {
            return errno != 0 ? errno : -1;
        }
        *port = static_cast<uint16_t>(chosen);
    } else {
        if (!server->bind_to_port(options.httpAddress, options.httpPort)) {
            return errno != 0 ? errno : -1;
        }
        *port = options.httpPort;
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    httplib::Server* serving = server.get();
    ListenThread = std::thread([serving, ended] {
        serving->listen_after_bind();
        ended->store(true);
    });
    while (!serving->is_running() && !ended->load()) {
        std::this_thread::sleep_for(kReadyPoll);
    }
    if (ended->load()) {
        ListenThread.join();
        return -1;
    }
    Server = std::move(server);
    return 0;
}

// *fresh: this call started it (it was not running already).
ControlStart StartUnderLock(const ControlOptions& options, std::string* problem, bool* fresh)
{
    std::lock_guard<std::mutex> hold(ControlServerLock);
    if (Server != nullptr) {
        return ControlStart::kStarted;
    }
    std::string token;
    if (!options.tokenFile.empty() && !ReadBearerToken(options.tokenFile, &token, problem)) {
        return ControlStart::kTokenRefused;
    }
    char endpoint[kEndpointTextSize];
    FormatEndpointOf(options.httpAddress.c_str(), options.httpPort, endpoint);
    const std::string failed = "Unable to start the HTTP control interface on " + std::string(endpoint) + " : ";
    // Writing an answer to a client that has gone must not end the program.
    IgnoreBrokenPipe();
    try {
        if (!OpenLogHistory() || !OpenTransactionHistory()) {
            CloseHistories();
            *problem = failed + "no memory for its histories, or no transaction observer place left";
            return ControlStart::kFailed;
        }
        Token = token;
        uint16_t port = 0;
        if (int error = Listen(options, &port); error != 0) {
            CloseHistories();
            Token.clear();
            *problem = failed + (error > 0 ? FileErrorText(error) : std::string("the address cannot be served"));
            return ControlStart::kFailed;
        }
        Port.store(port);
        *fresh = true;
        return ControlStart::kStarted;
    } catch (const std::exception& failure) {
        *problem = failed + failure.what();
    } catch (...) {
        *problem = failed + "an unexpected failure";
    }
    CloseHistories();
    Token.clear();
    return ControlStart::kFailed;
}

}  // namespace

ControlStart StartControlServer(const ControlOptions& options, std::string* problem)
{
    if (!options.httpEnabled) {
        return ControlStart::kNotAsked;
    }
    bool fresh = false;
    ControlStart result = StartUnderLock(options, problem, &fresh);
    // Logged once the lock is left.
    if (fresh) {
        char endpoint[kEndpointTextSize];
        FormatEndpointOf(options.httpAddress.c_str(), ControlServerPort(), endpoint);
        LogEvent("HTTP control interface on %s", endpoint);
    }
    return result;
}

void StopControlServer()
{
    std::lock_guard<std::mutex> hold(ControlServerLock);
    if (Server == nullptr) {
        return;
    }
    // Requests waiting for a new log line or transaction are answered first, so the workers can end.
    LogHistory().Stop();
    TransactionHistory().Stop();
    Server->stop();
    ListenThread.join();   // listen_after_bind returns once its workers have ended
    Server.reset();
    Port.store(0);
    Token.clear();
    CloseHistories();
}

uint16_t ControlServerPort()
{
    return Port.load();
}
