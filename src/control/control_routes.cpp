#include "control/control_routes.h"

#include "control/cell_routes.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

const ControlRoute kRoutes[] = {
    {"GET", "/", AnswerStatusPage, RouteAccess::kOpen},
    {"GET", "/api/v1/status", AnswerStatus},
    {"GET", "/api/v1/registers", AnswerCells<PeekRegisters>},
    {"PUT", "/api/v1/registers", PutCells<PokeRegisters>},
    {"GET", "/api/v1/coils", AnswerCells<PeekCoils>},
    {"PUT", "/api/v1/coils", PutCells<PokeCoils>},
    {"GET", "/api/v1/input-registers", AnswerCells<PeekInputRegisters>},
    {"PUT", "/api/v1/input-registers", PutCells<PokeInputRegisters>},
    {"GET", "/api/v1/discrete-inputs", AnswerCells<PeekDiscreteInputs>},
    {"PUT", "/api/v1/discrete-inputs", PutCells<PokeDiscreteInputs>},
    {"GET", "/api/v1/config", AnswerConfig},
    {"PUT", "/api/v1/config", PutConfig},
    {"GET", "/api/v1/state", AnswerState},
    {"PUT", "/api/v1/state", PutState},
    {"GET", "/api/v1/device-id", AnswerDeviceId},
    {"PUT", "/api/v1/device-id", PutDeviceId},
    {"POST", "/api/v1/server/start", StartServerRoute},
    {"POST", "/api/v1/server/stop", StopServerRoute},
    {"GET", "/api/v1/capture", AnswerCapture},
    {"POST", "/api/v1/capture", StartCaptureRoute},
    {"DELETE", "/api/v1/capture", StopCaptureRoute},
    {"GET", "/api/v1/log", AnswerLog},
    {"GET", "/api/v1/transactions", AnswerTransactions},
    {"GET", "/api/v1/faults", AnswerFaults},
    {"POST", "/api/v1/faults", PostFault},
    {"DELETE", "/api/v1/faults", DeleteFaults},
    {"DELETE", "/api/v1/faults/([^/]*)", DeleteFault},
    {"GET", "/api/v1/generators", AnswerGenerators},
    {"POST", "/api/v1/generators", PostGenerator},
    {"DELETE", "/api/v1/generators", DeleteGenerators},
    {"DELETE", "/api/v1/generators/([^/]*)", DeleteGenerator},
    {"GET", "/metrics", AnswerMetrics},
};

}  // namespace

std::span<const ControlRoute> ControlRoutes()
{
    return kRoutes;
}
