#pragma once

#include <cstdint>
#include <string>

// How both programs read the operator's words for where the server listens (--port, --bind) and
// the numbers of their other options, so that what one program accepts the other accepts too, and
// what they accept the listening socket can use.

// A plain unsigned decimal of at most `maximum`: digits only, no sign, no blanks, no other base.
bool ParseDecimalNumber(const std::string& text, uint32_t maximum, uint32_t* value);

// A TCP port to listen on, 0 to 65535; 0 lets the system choose a free one.
bool ParseListenPort(const std::string& text, uint16_t* port);

// An address that the listening socket can bind: a dotted IPv4 address (four decimal numbers 0 to
// 255, none with a leading zero, which some readers take for octal) or an IPv6 literal such as ::
// (every address, IPv4 too where the system allows) or ::1, without brackets.
bool IsBindAddress(const std::string& text);
