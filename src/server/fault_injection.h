#pragma once

#include <cstdint>

#include "faults/fault_rules.h"
#include "modbus/exception_code.h"
#include "modbus/request_record.h"
#include "platform/kick_event.h"
#include "platform/socket.h"
#include "server/slot_table.h"

// Where the fault rules meet the request path. The client thread asks for a decision once a
// request is decoded (only while rules are set), lets a fault that answers instead of executing
// build its answer, and sends through SendFaultedResponse whenever a rule acted.

inline constexpr FaultDecision kNoFault{FaultAction::kNone, 0, 0, 0, 0};

// The rules' decision for the decoded request in `adu`; `decoded` is what decoding answered, and
// only a request that decoded offers its cells to address=.
FaultDecision ChooseRequestFault(const ConnectionSlot* slot, const uint8_t* adu, const RequestRecord* record,
                                 ExceptionCode decoded);

// For exception=, drop and close: the answer that replaces executing the request (an exception
// response, or none), so that nothing is written. True when the fault took the request's place,
// with *code and *responseLength set; false for faults that only shape the real response.
bool AnswerInsteadOfExecuting(const FaultDecision& fault, uint8_t* adu, const RequestRecord* record,
                              ExceptionCode* code, uint16_t* responseLength);

// Logs the fault and sends the response as it shapes it: late, in pieces, cut short, wrong in one
// field, behind random bytes, or not at all. Waits end early when the connection is kicked.
// *responseLength becomes the part of the response that was sent. 1 to go on, 0 when the
// connection must end (already logged; a kick and close log nothing more).
int SendFaultedResponse(SocketHandle socket, KickEvent* kick, uint8_t* adu, uint16_t* responseLength,
                        const FaultDecision& fault);
