// Feeds arbitrary request ADUs of 8 to 260 bytes through decode, execute and build, and aborts
// when a response breaks what must always hold: a length of 9 to 260, exception codes 1 to 3 only
// and only with bit 7 of the function byte set, the identifiers (bytes 0-3 and 6) unchanged. The
// ADU sits in a heap buffer of exactly 260 bytes, so AddressSanitizer catches any access past it.
//
// The transaction identifier, which the engine never reads, narrows the address windows and the
// low bit of the protocol identifier disables the request's code, so that the window and enable
// paths are reached as well. Its next bit switches the standard limits on, and the high byte of the
// protocol identifier sets the length of every device identification value (up to 244, so that
// streams need "more follows").

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modbus/build_response.h"
#include "modbus/decode_request.h"
#include "modbus/device_identification.h"
#include "modbus/execute_request.h"
#include "modbus/modbus_limits.h"
#include "modbus/standard_limits.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void ConfigureTablesFrom(const uint8_t* adu)
{
    const uint32_t first = uint32_t{adu[0]} << 8;
    const uint32_t last = first + (uint32_t{adu[1]} << 8) + 0xFF;
    const uint16_t windowLast = static_cast<uint16_t>(last > 0xFFFF ? 0xFFFF : last);
    SetCoilWindow(static_cast<uint16_t>(first), windowLast);
    SetRegisterWindow(static_cast<uint16_t>(first), windowLast);
    SetFunctionEnabled(adu[kFunctionCodeOffset], (adu[3] & 1) == 0);
    SetStandardLimits((adu[3] & 2) != 0);
    static char text[kMaxDeviceIdValueLength];
    std::memset(text, 'v', sizeof text);
    DeviceIdentification identification{};
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        SetDeviceIdObject(&identification, id, text, adu[2] <= kMaxDeviceIdValueLength ? adu[2] : id * 40);
    }
    ApplyDeviceIdentification(identification);
}

// A Read Device Identification response: the request's MEI type and read code, conformity level,
// more follows 0 or 0xFF (never for individual access), and objects that end where the response does.
void CheckDeviceIdResponse(const uint8_t* adu, const uint8_t* request, uint16_t length)
{
    Require(length >= kDeviceIdObjectsOffset);
    Require(adu[kMeiTypeOffset] == request[kMeiTypeOffset] && adu[kReadDeviceIdCodeOffset] == request[kReadDeviceIdCodeOffset]);
    Require(adu[kDeviceIdConformityOffset] == kDeviceIdConformityLevel);
    const uint8_t more = adu[kDeviceIdConformityOffset + 1];
    Require(more == 0 || (more == kDeviceIdMoreFollows && adu[kReadDeviceIdCodeOffset] != kReadDeviceIdIndividual));
    uint16_t at = kDeviceIdObjectsOffset;
    for (uint8_t i = 0; i < adu[kDeviceIdObjectsOffset - 1]; ++i) {
        Require(at + kDeviceIdObjectHeaderSize <= length);
        at = static_cast<uint16_t>(at + kDeviceIdObjectHeaderSize + adu[at + 1]);
    }
    Require(at == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kMinRequestLength || size > kAduCapacity) {
        return 0;
    }
    static RequestRecord record;
    uint8_t* adu = static_cast<uint8_t*>(std::malloc(kAduCapacity));
    Require(adu != nullptr);
    std::memset(adu, 0, kAduCapacity);
    std::memcpy(adu, data, size);
    ConfigureTablesFrom(adu);

    const uint8_t requestCode = adu[kFunctionCodeOffset];
    ExceptionCode code = DecodeRequest(adu, static_cast<uint16_t>(size), &record);
    if (code == kNoException) {
        code = ExecuteRequest(&record);
    }
    const uint16_t length = code != kNoException ? BuildExceptionResponse(code, record.functionCode, adu)
                                                 : BuildResponse(&record, adu);

    Require(length >= kExceptionResponseLength && length <= kMaxResponseLength);
    Require(std::memcmp(adu, data, 4) == 0 && adu[6] == data[6]);
    if (code != kNoException) {
        Require(code >= kIllegalFunction && code <= kIllegalDataValue);
        Require(length == kExceptionResponseLength);
        Require(adu[kFunctionCodeOffset] == (requestCode | kExceptionFlag));
        Require(adu[kExceptionCodeOffset] == code);
    } else if (requestCode == kFunctionDiagnostics) {
        // Return Query Data: the request itself.
        Require(length == size && std::memcmp(adu, data, size) == 0);
    } else if (requestCode == kFunctionEncapsulatedInterface) {
        CheckDeviceIdResponse(adu, data, length);
    } else {
        Require(adu[kFunctionCodeOffset] == requestCode);
        Require((requestCode & kExceptionFlag) == 0);
        if (length > kMaskWriteResponseLength || requestCode == kFunctionReadCoils ||
            requestCode == kFunctionReadDiscreteInputs || requestCode == kFunctionReadRegisters ||
            requestCode == kFunctionReadInputRegisters || requestCode == kFunctionReadWriteRegisters) {
            Require(adu[kResponseByteCountOffset] == length - kResponseValuesOffset);
        } else {
            // Echo: address and value(s) as the request carried them.
            Require(std::memcmp(adu + kAddressOffset, data + kAddressOffset, length - kAddressOffset) == 0);
        }
    }

    SetFunctionEnabled(requestCode, true);
    std::free(adu);
    return 0;
}
