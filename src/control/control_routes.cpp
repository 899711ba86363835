#include "control/control_routes.h"

namespace {

const ControlRoute kRoutes[] = {
    {"GET", "/", AnswerStatusPage, RouteAccess::kOpen},
    {"GET", "/api/v1/status", AnswerStatus},
    {"GET", "/api/v1/registers", AnswerRegisters},
    {"PUT", "/api/v1/registers", PutRegisters},
    {"GET", "/api/v1/coils", AnswerCoils},
    {"PUT", "/api/v1/coils", PutCoils},
    {"GET", "/api/v1/config", AnswerConfig},
    {"PUT", "/api/v1/config", PutConfig},
    {"GET", "/api/v1/state", AnswerState},
    {"PUT", "/api/v1/state", PutState},
    {"GET", "/api/v1/device-id", AnswerDeviceId},
    {"PUT", "/api/v1/device-id", PutDeviceId},
    {"POST", "/api/v1/server/start", StartServerRoute},
    {"POST", "/api/v1/server/stop", StopServerRoute},
    {"GET", "/api/v1/log", AnswerLog},
    {"GET", "/api/v1/transactions", AnswerTransactions},
    {"GET", "/metrics", AnswerMetrics},
};

}  // namespace

std::span<const ControlRoute> ControlRoutes()
{
    return kRoutes;
}
