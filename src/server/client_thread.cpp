#include "server/client_thread.h"

#include <new>

#include "log/event_log.h"
#include "modbus/build_response.h"
#include "modbus/decode_request.h"
#include "modbus/execute_request.h"
#include "server/fault_injection.h"
#include "server/mbap_framing.h"
#include "server/server_counters.h"
#include "server/server_threads.h"
#include "server/transaction_trace.h"
#include "server/unit_filter.h"

namespace {

// Written before the server starts, read by client threads without a lock.
TransactionObserver Observers[kMaxTransactionObservers];
int ObserverCount = 0;

void ShowTransaction(const ConnectionSlot* slot, SocketHandle socket, ExceptionCode code)
{
    const TransactionView transaction{socket,
                                      slot->peerText,
                                      slot->currentRequest,
                                      slot->currentRequestLength,
                                      slot->currentResponse,
                                      slot->currentResponseLength,
                                      code};
    for (int index = 0; index < ObserverCount; ++index) {
        Observers[index](transaction);
    }
}

// Decodes, executes and builds the response over the request in `adu`; returns the transaction's
// exception code and the response's total length, and in *fault what a fault rule does to it.
ExceptionCode ServeRequest(uint8_t* adu, uint16_t requestLength, RequestRecord* record, const ConnectionSlot* slot,
                           FaultDecision* fault, uint16_t* responseLength)
{
    ExceptionCode code = DecodeRequest(adu, requestLength, record);
    // Decided once decoded, so that a rule can aim at the request's cells, and before executing,
    // so that a fault that answers in its place writes nothing.
    if (AreFaultRulesSet()) {
        *fault = ChooseRequestFault(slot, adu, record, code);
        if (AnswerInsteadOfExecuting(*fault, adu, record, &code, responseLength)) {
            return code;
        }
    }
    if (code == kNoException) {
        code = ExecuteRequest(record);
    }
    if (code == kNoException) {
        *responseLength = BuildResponse(record, adu);
    } else {
        *responseLength = BuildExceptionResponse(code, record->functionCode, adu);
    }
    return code;
}

// A request for a unit that is not served: counted, logged the first time on the connection only
// (a client polling a missing unit would flood the log), and answered with exception 11 or not at
// all, as the operator chose. Returns the response's total length, 0 for no response.
uint16_t RefuseUnservedUnit(uint8_t* adu, SocketHandle socket, bool* logged)
{
    CountUnservedUnitRequest();
    if (!*logged) {
        *logged = true;
        LogEvent("Client on socket %hu addressed unit %u, which is not served", static_cast<unsigned short>(socket),
                 static_cast<unsigned>(adu[kUnitIdOffset]));
    }
    if (ReadUnknownUnitAnswer() == UnknownUnitAnswer::kNone) {
        return 0;
    }
    return BuildExceptionResponse(kGatewayTargetFailedToRespond, adu[kFunctionCodeOffset], adu);
}

void ServeConnection(ConnectionSlot* slot, RequestRecord* record)
{
    // The thread's own copy: only this thread clears clientSocket, in ReleaseSlot.
    SocketHandle socket;
    {
        std::lock_guard<std::recursive_mutex> hold(slot->lock);
        socket = slot->clientSocket;
    }
    // Both zeroed once per connection: the decoder may read the fixed fields of a short request
    // past its end, inside `adu`, before it compares the length, and those bytes must hold values.
    uint8_t adu[kAduCapacity] = {};
    ReceiveBuffer received = {};
    bool unservedUnitLogged = false;
    for (;;) {
        uint16_t requestLength = ReceiveAdu(socket, &received, adu, &slot->kickEvent);
        if (requestLength == 0) {
            return;
        }
        StoreRequest(slot, adu, requestLength);
        uint16_t responseLength = 0;
        ExceptionCode code = kGatewayTargetFailedToRespond;
        FaultDecision fault = kNoFault;
        // Checked once the request is framed and before it is decoded: the unit decides whether
        // there is a device to decode it at all.
        if (IsUnitServed(adu[kUnitIdOffset])) {
            code = ServeRequest(adu, requestLength, record, slot, &fault, &responseLength);
        } else if ((responseLength = RefuseUnservedUnit(adu, socket, &unservedUnitLogged)) == 0) {
            // Left unanswered, the way a gateway with no such device leaves it; the connection
            // publishes it as a rejected request with an empty response.
            StoreResponse(slot, adu, 0);
            RecordTransaction(slot, code);
            continue;
        }
        if (fault.action == FaultAction::kNone
                ? SendResponse(socket, adu, responseLength) == 0
                : SendFaultedResponse(socket, &slot->kickEvent, adu, &responseLength, fault) == 0) {
            return;
        }
        StoreResponse(slot, adu, responseLength);
        RecordTransaction(slot, code);
        if (ObserverCount > 0) {
            ShowTransaction(slot, socket, code);
        }
    }
}

}  // namespace

bool AddTransactionObserver(TransactionObserver observer)
{
    if (ObserverCount == kMaxTransactionObservers) {
        return false;
    }
    Observers[ObserverCount++] = observer;
    return true;
}

void ClearTransactionObservers()
{
    ObserverCount = 0;
}

void StartClientThread(ConnectionSlot* slot)
{
    int error = StartDetachedThread(&ServerThreads, ClientThread, slot);
    if (error != 0) {
        LogSystemError("Unable to create client thread", error);
        ReleaseSlot(slot);
    }
}

void* ClientThread(void* argument)
{
    ConnectionSlot* slot = static_cast<ConnectionSlot*>(argument);
    // Once per connection and reused for every request; about 4.5 KB, too much for every stack.
    RequestRecord* record = new (std::nothrow) RequestRecord;
    if (record == nullptr) {
        LogEvent("ERROR: Unable to allocate request record");
    } else {
        ServeConnection(slot, record);
    }
    ReleaseSlot(slot);
    delete record;
    LeaveThreadGroup(&ServerThreads);
    return nullptr;
}
