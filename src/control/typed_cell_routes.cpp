#include <string>
#include <vector>

#include "control/cell_routes.h"
#include "control/typed_run.h"
#include "tables/address_window.h"

namespace {

// The `type` and `order` parameters, each defaulting as in a PUT's body.
bool ReadValueShape(const httplib::Request& request, ValueType* type, ValueOrder* order, std::string* problem)
{
    *type = ValueType::kUint16;
    *order = ValueOrder::kAbcd;
    return (!request.has_param("type") ||
            ReadValueTypeName("type", request.get_param_value("type"), type, problem)) &&
           (!request.has_param("order") ||
            ReadValueOrderName("order", request.get_param_value("order"), order, problem));
}

}  // namespace

bool AsksForValueType(const httplib::Request& request)
{
    return request.has_param("type") || request.has_param("order");
}

void AnswerTypedRegisters(const httplib::Request& request, httplib::Response& response, RegisterPeek peek)
{
    ValueType type{};
    ValueOrder order{};
    uint64_t start = 0;
    uint64_t count = 0;
    std::string problem;
    if (!ReadValueShape(request, &type, &order, &problem) ||
        !ReadQueryNumber(request, "start", 0, kTableSize - 1, nullptr, &start, &problem) ||
        // ASCII counts characters, two to a register.
        !ReadQueryNumber(request, "count", 1, type == ValueType::kAscii ? 2 * kTableSize : kTableSize, nullptr, &count,
                         &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    const uint64_t registers = TypedRegisterCount(type, count);
    if (start + registers > kTableSize) {
        AnswerError(response, 400,
                    "start + count: " + std::to_string(start) + " + " + TypedCountText(type, count) + " is past " +
                        std::to_string(kTableSize) + ", the end of the table");
        return;
    }
    std::vector<uint16_t> cells(registers);
    peek(static_cast<uint32_t>(start), static_cast<uint32_t>(registers), cells.data());
    JsonDocument answer{{"start", start}};
    if (request.has_param("type")) {
        answer["type"] = ValueTypeName(type);
    }
    if (request.has_param("order")) {
        answer["order"] = ValueOrderName(order);
    }
    answer["values"] = TypedValuesDocument(type, order, cells.data(), count);
    AnswerJson(response, answer);
}
