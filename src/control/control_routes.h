#pragma once

#include <span>
#include <string>

#include <httplib.h>

#include "control/json_rules.h"

// The control interface's paths. Each route is one function that reads its input, checks all of
// it, acts (taking a table or slot lock for one copy at most) and answers; none lets an exception
// out (the server answers 500 if one does).

using RouteHandler = void (*)(const httplib::Request& request, httplib::Response& response);

// Whether a route answers only requests that carry the token (when the interface has one).
enum class RouteAccess {
    kTokenNeeded,
    kOpen,   // answers nothing that the API keeps behind the token (the status page itself)
};

struct ControlRoute {
    const char* method;
    const char* path;   // a regular expression that matches the whole path; its group, a path's id
    RouteHandler handler;
    RouteAccess access = RouteAccess::kTokenNeeded;
};

// Every route, one entry per method and path. A path it lacks is answered 404; a path it has with
// another method, 405.
std::span<const ControlRoute> ControlRoutes();

// cell_routes.h: AnswerCells and PutCells of each table
// read_routes.cpp
void AnswerStatus(const httplib::Request& request, httplib::Response& response);
void AnswerMetrics(const httplib::Request& request, httplib::Response& response);
// status_page_route.cpp
void AnswerStatusPage(const httplib::Request& request, httplib::Response& response);
// server_routes.cpp
void StartServerRoute(const httplib::Request& request, httplib::Response& response);
void StopServerRoute(const httplib::Request& request, httplib::Response& response);
// document_routes.cpp
void AnswerConfig(const httplib::Request& request, httplib::Response& response);
void PutConfig(const httplib::Request& request, httplib::Response& response);
void AnswerState(const httplib::Request& request, httplib::Response& response);
void PutState(const httplib::Request& request, httplib::Response& response);
void AnswerDeviceId(const httplib::Request& request, httplib::Response& response);
void PutDeviceId(const httplib::Request& request, httplib::Response& response);
// capture_routes.cpp
void AnswerCapture(const httplib::Request& request, httplib::Response& response);
void StartCaptureRoute(const httplib::Request& request, httplib::Response& response);
void StopCaptureRoute(const httplib::Request& request, httplib::Response& response);
// The body of POST /api/v1/capture, {"file": NAME}; false with *problem naming the member and the rule.
bool ReadCaptureRequest(const JsonDocument& document, std::string* file, std::string* problem);
// fault_routes.cpp
void AnswerFaults(const httplib::Request& request, httplib::Response& response);
void PostFault(const httplib::Request& request, httplib::Response& response);
void DeleteFault(const httplib::Request& request, httplib::Response& response);
void DeleteFaults(const httplib::Request& request, httplib::Response& response);
// generator_routes.cpp
void AnswerGenerators(const httplib::Request& request, httplib::Response& response);
void PostGenerator(const httplib::Request& request, httplib::Response& response);
void DeleteGenerator(const httplib::Request& request, httplib::Response& response);
void DeleteGenerators(const httplib::Request& request, httplib::Response& response);
// history_routes.cpp
void AnswerLog(const httplib::Request& request, httplib::Response& response);
void AnswerTransactions(const httplib::Request& request, httplib::Response& response);
