#pragma once

#include <cstdint>

#include "modbus/exception_code.h"
#include "modbus/request_record.h"

// Validates one request ADU (a 260-byte buffer holding `length` received bytes, 8 to 260) and fills
// the record. Returns 0, or 1 / 3 with only record->functionCode set. Touches no data table.
ExceptionCode DecodeRequest(const uint8_t* adu, uint16_t length, RequestRecord* record);
