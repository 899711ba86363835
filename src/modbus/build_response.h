#pragma once

#include <cstdint>

#include "modbus/exception_code.h"
#include "modbus/request_record.h"

// Both write the response over the request in the same 260-byte buffer, from offset 7 on, and
// return its total length; the transaction, protocol and unit identifiers stay as received and
// the MBAP length field is left to the sender.
uint16_t BuildResponse(const RequestRecord* record, uint8_t* adu);
uint16_t BuildExceptionResponse(ExceptionCode code, uint8_t functionCode, uint8_t* adu);
