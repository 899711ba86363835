#pragma once

#include <cstdint>

// Which unit identifiers (MBAP byte 6) the server answers, and how it treats a request for another
// one. Like the function enables, each entry is written by whoever applies the served settings and
// read by client threads without a lock; every unit is served at launch.

inline constexpr int kUnitIdCount = 256;

// What a request for a unit that is not served gets.
enum class UnknownUnitAnswer : uint8_t {
    kNone,        // nothing: the connection stays open, as behind a gateway with no such device
    kException,   // exception 11, Gateway Target Device Failed to Respond
};

bool IsUnitServed(uint8_t unit);
void SetUnitServed(uint8_t unit, bool served);

UnknownUnitAnswer ReadUnknownUnitAnswer();
void SetUnknownUnitAnswer(UnknownUnitAnswer answer);
