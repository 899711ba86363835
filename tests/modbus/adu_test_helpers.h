#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "modbus/build_response.h"
#include "modbus/decode_request.h"
#include "modbus/device_identification.h"
#include "modbus/execute_request.h"
#include "modbus/modbus_limits.h"
#include "modbus/standard_limits.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

using Bytes = std::vector<uint8_t>;

// Sets the MBAP length field (bytes 4-5) as a sender does: the ADU's length less the six bytes of
// transaction identifier, protocol identifier and the length field itself.
inline Bytes WithMbapLength(Bytes adu)
{
    const size_t length = adu.size() - 6;
    adu[4] = static_cast<uint8_t>(length >> 8);
    adu[5] = static_cast<uint8_t>(length);
    return adu;
}

// The request path as the client thread drives it, over one 260-byte buffer that is pre-filled
// with a filler byte so that stale contents cannot pass for received ones. Returns the response
// with its MBAP length set, and the final exception code through `code` when given.
inline Bytes AnswerRequest(const Bytes& request, ExceptionCode* code = nullptr)
{
    static RequestRecord record;  // large; one per test program, as one per client thread
    uint8_t adu[kAduCapacity];
    std::memset(adu, 0xA5, sizeof adu);
    // Framing never hands the decoder more than one ADU; a longer test request is a fault of the test.
    if (request.size() > sizeof adu) {
        ADD_FAILURE() << "a request of " << request.size() << " bytes does not fit the " << sizeof adu << "-byte ADU";
        return {};
    }
    std::memcpy(adu, request.data(), request.size());
    ExceptionCode result = DecodeRequest(adu, static_cast<uint16_t>(request.size()), &record);
    if (result == kNoException) {
        result = ExecuteRequest(&record);
    }
    const uint16_t length = result != kNoException
                                ? BuildExceptionResponse(result, record.functionCode, adu)
                                : BuildResponse(&record, adu);
    if (code != nullptr) {
        *code = result;
    }
    return WithMbapLength(Bytes(adu, adu + length));
}

// Puts every table and enable flag back to its launch state.
inline void ResetDataTables()
{
    InitDataTables();
    for (unsigned code = 0; code < 256; ++code) {
        SetFunctionEnabled(static_cast<uint8_t>(code), true);
    }
    SetStandardLimits(false);
    ApplyDeviceIdentification(DefaultDeviceIdentification());
}
