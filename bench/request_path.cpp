// Nanoseconds per request through DecodeRequest, ExecuteRequest and BuildResponse for the largest
// request of each kind. Each iteration first copies the request back into the buffer, since the
// response overwrites it, as the client thread's receive does.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "faults/fault_rules.h"
#include "modbus/build_response.h"
#include "modbus/decode_request.h"
#include "modbus/execute_request.h"
#include "modbus/modbus_limits.h"
#include "tables/coil_table.h"
#include "tables/data_tables.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithMbapLength(Bytes adu)
{
    adu[4] = static_cast<uint8_t>((adu.size() - 6) >> 8);
    adu[5] = static_cast<uint8_t>(adu.size() - 6);
    return adu;
}

// Code 3: 125 registers from address 1,000.
Bytes ReadRegistersRequest()
{
    return WithMbapLength({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x03, 0x03, 0xE8, 0x00, 0x7D});
}

// Code 16: 100 registers to address 2,000.
Bytes WriteRegistersRequest()
{
    Bytes adu = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x10, 0x07, 0xD0, 0x00, 0x64, 0xC8};
    for (unsigned i = 0; i < 200; ++i) {
        adu.push_back(static_cast<uint8_t>(i * 7));
    }
    return WithMbapLength(adu);
}

// Code 1: 2,000 coils from address 10,000.
Bytes ReadCoilsRequest()
{
    return WithMbapLength({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x27, 0x10, 0x07, 0xD0});
}

// Code 23: 125 registers read from 1,000, 100 written to 1,050.
Bytes ReadWriteRegistersRequest()
{
    Bytes adu = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x17, 0x03, 0xE8, 0x00, 0x7D,
                 0x04, 0x1A, 0x00, 0x64, 0xC8};
    for (unsigned i = 0; i < 200; ++i) {
        adu.push_back(static_cast<uint8_t>(i * 13));
    }
    return WithMbapLength(adu);
}

// Code 2: 2,000 discrete inputs from address 10,000.
Bytes ReadDiscreteInputsRequest()
{
    return WithMbapLength({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x27, 0x10, 0x07, 0xD0});
}

// Code 4: 125 input registers from address 1,000.
Bytes ReadInputRegistersRequest()
{
    return WithMbapLength({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x04, 0x03, 0xE8, 0x00, 0x7D});
}

void FillTables()
{
    InitDataTables();
    for (uint32_t address = 0; address < kTableSize; ++address) {
        const uint16_t value = static_cast<uint16_t>(address * 2654435761u >> 16);
        const uint8_t coil = static_cast<uint8_t>(value & 1);
        PokeRegisters(address, 1, &value);
        PokeCoils(address, 1, &coil);
        PokeInputRegisters(address, 1, &value);
        PokeDiscreteInputs(address, 1, &coil);
    }
}

void RequestPath(benchmark::State& state, Bytes (*makeRequest)())
{
    FillTables();
    const Bytes request = makeRequest();
    const uint16_t length = static_cast<uint16_t>(request.size());
    static RequestRecord record;
    alignas(64) uint8_t adu[kAduCapacity];
    for (auto _ : state) {
        std::memcpy(adu, request.data(), length);
        ExceptionCode code = DecodeRequest(adu, length, &record);
        if (code == kNoException) {
            code = ExecuteRequest(&record);
        }
        const uint16_t responseLength = code != kNoException
                                            ? BuildExceptionResponse(code, record.functionCode, adu)
                                            : BuildResponse(&record, adu);
        benchmark::DoNotOptimize(responseLength);
        benchmark::DoNotOptimize(adu);
        if (code != kNoException) {
            state.SkipWithError("request refused");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(RequestPath, ReadRegisters125, ReadRegistersRequest);
BENCHMARK_CAPTURE(RequestPath, WriteRegisters100, WriteRegistersRequest);
BENCHMARK_CAPTURE(RequestPath, ReadCoils2000, ReadCoilsRequest);
BENCHMARK_CAPTURE(RequestPath, ReadWriteRegisters125And100, ReadWriteRegistersRequest);
BENCHMARK_CAPTURE(RequestPath, ReadDiscreteInputs2000, ReadDiscreteInputsRequest);
BENCHMARK_CAPTURE(RequestPath, ReadInputRegisters125, ReadInputRegistersRequest);

// What a request pays for fault rules that are set and never act: the decision with one rule whose
// fc holds and whose unit does not (the lock, the rule's conditions, the counters), against the
// one relaxed load that a request pays with no rule at all.
void FaultDecision(benchmark::State& state, bool ruleSet)
{
    ClearFaultRules();
    std::string problem;
    if (ruleSet && AddFaultRule("delay=1000 fc=3,16 unit=7", &problem, true) == 0) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const FaultRequest request{3, 255, 1, {0, 0}, {9, 0}, "127.0.0.1:40112"};
    for (auto _ : state) {
        bool acts = AreFaultRulesSet() && DecideFault(request).action != FaultAction::kNone;
        benchmark::DoNotOptimize(acts);
    }
    state.SetItemsProcessed(state.iterations());
    ClearFaultRules();
}

BENCHMARK_CAPTURE(FaultDecision, NoRule, false);
BENCHMARK_CAPTURE(FaultDecision, RuleThatNeverMatches, true);

}  // namespace

BENCHMARK_MAIN();
