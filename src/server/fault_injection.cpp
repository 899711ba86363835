#include "server/fault_injection.h"

#include <algorithm>

#include "faults/fault_random.h"
#include "log/event_log.h"
#include "modbus/build_response.h"
#include "modbus/function_codes.h"
#include "modbus/modbus_limits.h"
#include "platform/clock.h"
#include "server/mbap_framing.h"
#include "server/wire_observer.h"

namespace {

// How often a wait looks at the kick. The kick is a flag that nothing can wait on (its kicker
// wakes only a blocked receive, by shutting the socket's receiving side), so a delay sleeps in
// slices this short: a stop or an eviction ends it within one slice, far inside their bounds.
constexpr uint32_t kKickSliceMilliseconds = 10;
constexpr int kBytesBeforeLengthCount = 6;
constexpr int kByteCountOffset = 8;
constexpr uint8_t kExceptionBit = 0x80;
constexpr int kGarbageChunk = 64;

// 1 once `milliseconds` have passed, 0 as soon as the connection is kicked.
int WaitUnlessKicked(KickEvent* kick, uint32_t milliseconds)
{
    const uint32_t start = TickCount();
    for (;;) {
        if (IsKickSignalled(kick)) {
            return 0;
        }
        const uint32_t waited = TickCount() - start;
        if (waited >= milliseconds) {
            return 1;
        }
        SleepMilliseconds(static_cast<int>(std::min(kKickSliceMilliseconds, milliseconds - waited)));
    }
}

// Every byte a fault puts on the wire goes through here: one send, its failures logged as the
// normal response's are. 1 when sent whole, 0 when the connection must end.
int SendFaultBytes(SocketHandle socket, const uint8_t* bytes, int count)
{
    int error = 0;
    int sent = SendBytes(socket, bytes, count, &error);
    if (sent > 0) {
        ObserveBytesSent(socket, bytes, sent);   // what a capture shows is what went out, faults and all
    }
    if (sent < 0) {
        LogSocketError("send()", error);
        return 0;
    }
    if (sent < count) {
        LogEvent("ERROR: Failed to send complete response to client.");
        return 0;
    }
    return 1;
}

void WriteLengthField(uint8_t* adu, uint16_t totalLength)
{
    uint16_t lengthField = static_cast<uint16_t>(totalLength - kBytesBeforeLengthCount);
    adu[4] = static_cast<uint8_t>(lengthField >> 8);
    adu[5] = static_cast<uint8_t>(lengthField & 0xFF);
}

// The normal responses that carry a byte count after their function code.
bool HasByteCount(const uint8_t* adu)
{
    uint8_t code = adu[kFunctionCodeOffset];
    return code == kFunctionReadCoils || code == kFunctionReadDiscreteInputs || code == kFunctionReadRegisters ||
           code == kFunctionReadInputRegisters || code == kFunctionReadWriteRegisters;
}

const char* CorruptedFieldText(CorruptField field)
{
    constexpr const char* kTexts[] = {"transaction id", "protocol id", "length",
                                      "unit id",        "function code", "byte count"};
    return kTexts[static_cast<int>(field)];
}

// Makes one field of the finished response wrong; false when it has no such field (a byte count
// in a response without one).
bool MakeFieldWrong(uint8_t* adu, CorruptField field)
{
    switch (field) {
    case CorruptField::kTransactionId:
        adu[1] = static_cast<uint8_t>(adu[1] + 1);
        if (adu[1] == 0) {
            adu[0] = static_cast<uint8_t>(adu[0] + 1);
        }
        return true;
    case CorruptField::kProtocolId:
        adu[3] ^= 1;
        return true;
    case CorruptField::kLength:
        // Too long by one: the client waits for a byte that never comes, or takes the next
        // response's first byte for it.
        adu[5] = static_cast<uint8_t>(adu[5] + 1);
        if (adu[5] == 0) {
            adu[4] = static_cast<uint8_t>(adu[4] + 1);
        }
        return true;
    case CorruptField::kUnitId:
        adu[kUnitIdOffset] = static_cast<uint8_t>(adu[kUnitIdOffset] + 1);
        return true;
    case CorruptField::kFunction: {
        // Another code of the same kind: a normal response stays normal, an exception an exception.
        uint8_t code = adu[kFunctionCodeOffset];
        adu[kFunctionCodeOffset] = static_cast<uint8_t>((code & kExceptionBit) | ((code & 0x7F) % 0x7F + 1));
        return true;
    }
    case CorruptField::kByteCount:
        if (!HasByteCount(adu)) {
            return false;
        }
        adu[kByteCountOffset] = static_cast<uint8_t>(adu[kByteCountOffset] + 1);
        return true;
    }
    return false;
}

int SendCorrupted(SocketHandle socket, uint8_t* adu, uint16_t length, const FaultDecision& fault)
{
    const CorruptField field = static_cast<CorruptField>(fault.value);
    WriteLengthField(adu, length);
    if (MakeFieldWrong(adu, field)) {
        LogEvent("Fault on socket %d: response sent with a wrong %s (rule %u)", socket, CorruptedFieldText(field),
                 fault.ruleId);
    } else {
        LogEvent("Fault on socket %d: response has no byte count to corrupt, sent unchanged (rule %u)", socket,
                 fault.ruleId);
    }
    return SendFaultBytes(socket, adu, length);
}

int SendTruncated(SocketHandle socket, uint8_t* adu, uint16_t* length, const FaultDecision& fault)
{
    const uint16_t sent = static_cast<uint16_t>(std::min<uint32_t>(fault.value, *length));
    LogEvent("Fault on socket %d: response truncated to %u of %u bytes (rule %u)", socket, static_cast<unsigned>(sent),
             static_cast<unsigned>(*length), fault.ruleId);
    WriteLengthField(adu, *length);
    *length = sent;
    return SendFaultBytes(socket, adu, sent);
}

int SendSplit(SocketHandle socket, KickEvent* kick, uint8_t* adu, uint16_t length, const FaultDecision& fault)
{
    LogEvent("Fault on socket %d: response split into pieces of %u bytes, %u ms apart (rule %u)", socket, fault.value,
             fault.secondValue, fault.ruleId);
    WriteLengthField(adu, length);
    for (uint32_t offset = 0; offset < length; offset += fault.value) {
        if (offset > 0 && WaitUnlessKicked(kick, fault.secondValue) == 0) {
            return 0;
        }
        const int piece = static_cast<int>(std::min<uint32_t>(fault.value, length - offset));
        if (SendFaultBytes(socket, adu + offset, piece) == 0) {
            return 0;
        }
    }
    return 1;
}

int SendGarbage(SocketHandle socket, uint8_t* adu, uint16_t length, const FaultDecision& fault)
{
    LogEvent("Fault on socket %d: %u random bytes sent before the response (rule %u)", socket, fault.value,
             fault.ruleId);
    // Expanded from the decision's one draw, so that the rules' shared source is not held here.
    FaultRandom noise{fault.noise};
    uint8_t chunk[kGarbageChunk];
    for (uint32_t left = fault.value; left > 0;) {
        const uint32_t count = std::min<uint32_t>(left, kGarbageChunk);
        for (uint32_t index = 0; index < count; ++index) {
            chunk[index] = static_cast<uint8_t>(NextFaultRandom(&noise));
        }
        if (SendFaultBytes(socket, chunk, static_cast<int>(count)) == 0) {
            return 0;
        }
        left -= count;
    }
    return SendResponse(socket, adu, length);
}

// Fills the request's address ranges for address=: the cells it reads or writes.
void AddRequestedRanges(const RequestRecord* record, FaultRequest* request)
{
    auto add = [request](uint16_t address, uint16_t quantity) {
        const uint32_t last = std::min<uint32_t>(uint32_t{address} + std::max<uint16_t>(quantity, 1) - 1, 0xFFFF);
        request->firstAddress[request->rangeCount] = address;
        request->lastAddress[request->rangeCount] = static_cast<uint16_t>(last);
        ++request->rangeCount;
    };
    switch (record->functionCode) {
    case kFunctionReadCoils:
    case kFunctionReadDiscreteInputs:
    case kFunctionReadRegisters:
    case kFunctionReadInputRegisters:
    case kFunctionWriteCoils:
    case kFunctionWriteRegisters:
        add(record->address, record->quantity);
        break;
    case kFunctionWriteSingleCoil:
    case kFunctionWriteSingleRegister:
    case kFunctionMaskWriteRegister:
        add(record->address, 1);
        break;
    case kFunctionReadWriteRegisters:
        add(record->address, record->quantity);
        add(record->writePart.address, record->writePart.quantity);
        break;
    default:
        break;
    }
}

}  // namespace

FaultDecision ChooseRequestFault(const ConnectionSlot* slot, const uint8_t* adu, const RequestRecord* record,
                                 ExceptionCode decoded)
{
    FaultRequest request{adu[kFunctionCodeOffset], adu[kUnitIdOffset], 0, {0, 0}, {0, 0}, slot->peerText};
    if (decoded == kNoException) {
        AddRequestedRanges(record, &request);
    }
    return DecideFault(request);
}

bool AnswerInsteadOfExecuting(const FaultDecision& fault, uint8_t* adu, const RequestRecord* record,
                              ExceptionCode* code, uint16_t* responseLength)
{
    switch (fault.action) {
    case FaultAction::kException:
        *code = static_cast<ExceptionCode>(fault.value);
        *responseLength = BuildExceptionResponse(*code, record->functionCode, adu);
        return true;
    case FaultAction::kDrop:
    case FaultAction::kClose:
        // Published like any request left unanswered: rejected, with an empty response.
        *code = kGatewayTargetFailedToRespond;
        *responseLength = 0;
        return true;
    default:
        return false;
    }
}

int SendFaultedResponse(SocketHandle socket, KickEvent* kick, uint8_t* adu, uint16_t* responseLength,
                        const FaultDecision& fault)
{
    switch (fault.action) {
    case FaultAction::kDelay:
        LogEvent("Fault on socket %d: response delayed %u ms (rule %u)", socket, fault.value, fault.ruleId);
        return WaitUnlessKicked(kick, fault.value) == 0 ? 0 : SendResponse(socket, adu, *responseLength);
    case FaultAction::kDrop:
        LogEvent("Fault on socket %d: request dropped, no response sent (rule %u)", socket, fault.ruleId);
        *responseLength = 0;
        return 1;
    case FaultAction::kClose:
        LogEvent("Fault on socket %d: connection closed without a response (rule %u)", socket, fault.ruleId);
        return 0;
    case FaultAction::kException:
        LogEvent("Fault on socket %d: answered with exception %u instead of executing the request (rule %u)", socket,
                 fault.value, fault.ruleId);
        return SendResponse(socket, adu, *responseLength);
    case FaultAction::kCorrupt:
        return SendCorrupted(socket, adu, *responseLength, fault);
    case FaultAction::kTruncate:
        return SendTruncated(socket, adu, responseLength, fault);
    case FaultAction::kSplit:
        return SendSplit(socket, kick, adu, *responseLength, fault);
    case FaultAction::kGarbage:
        return SendGarbage(socket, adu, *responseLength, fault);
    case FaultAction::kNone:
        break;
    }
    return SendResponse(socket, adu, *responseLength);
}
