#pragma once

#include "modbus/exception_code.h"
#include "modbus/request_record.h"

// Applies a record that DecodeRequest accepted to the data tables; 0, or 2 when the run lies
// outside the table's window (the table is then unchanged). Reads fill the record's arrays.
ExceptionCode ExecuteRequest(RequestRecord* record);
