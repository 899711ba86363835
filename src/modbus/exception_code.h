#pragma once

#include <cstdint>

// The result that runs through the whole request path; 0 means "send the normal response".
using ExceptionCode = uint8_t;

inline constexpr ExceptionCode kNoException = 0;
inline constexpr ExceptionCode kIllegalFunction = 1;
inline constexpr ExceptionCode kIllegalDataAddress = 2;
inline constexpr ExceptionCode kIllegalDataValue = 3;

// A request for a unit identifier that the server does not serve, when it is told to answer one.
inline constexpr ExceptionCode kGatewayTargetFailedToRespond = 11;
