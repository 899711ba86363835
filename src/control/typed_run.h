#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/json_rules.h"
#include "control/value_run.h"
#include "values/value_type.h"

// Register runs written as the values a device holds rather than as raw registers:
//   {"start": S, "type": "float32", "order": "CDAB", "values": [3.14, -1]}
//   {"start": S, "type": "ascii", "values": "SERIAL-0042"}
// `type` (default uint16) and `order` (default ABCD) say how each value lies over its registers;
// `start` is the first register. The values become the registers' images, so everything that
// takes a RegisterRun (a PUT, the state document) writes them unchanged.

// A run with `type` or `order` read into its registers; a run with neither is a plain one and
// goes to ParseRegisterRun. False with *problem naming the member and the rule, e.g.
// "values[1]: -1 is not a uint32 (a whole number from 0 to 4294967295)".
bool ParseTypedRegisterRun(const JsonDocument& document, const std::string& path, RegisterRun* run,
                           std::string* problem);

// `name` as a type or an order; false with *problem "PATH: 'NAME' is not one of ...".
bool ReadValueTypeName(const std::string& path, const std::string& name, ValueType* type, std::string* problem);
bool ReadValueOrderName(const std::string& path, const std::string& name, ValueOrder* order, std::string* problem);

// The registers that `count` values of the type span (for ascii, `count` characters).
uint64_t TypedRegisterCount(ValueType type, uint64_t count);
// "2 float32 values (4 registers)", "11 characters (6 registers)": a run's size for messages.
std::string TypedCountText(ValueType type, uint64_t count);

// `count` values of the type from `registers` (TypedRegisterCount of them): a list of numbers, or
// for ascii one string of `count` characters as they stand, NULs included. A float that is NaN or
// infinite is null, JSON having no such numbers.
JsonDocument TypedValuesDocument(ValueType type, ValueOrder order, const uint16_t* registers, size_t count);
