#pragma once

#include <string>

// The token that every request must carry when the control interface has one (always off
// loopback): read from a file, so that it never shows in the process list.

// The token in `path`: the file's text without the blanks and line ends around it. False with
// *problem naming the file and what is wrong when it cannot be read, is empty, or holds more than
// one word.
bool ReadBearerToken(const std::string& path, std::string* token, std::string* problem);

// True when an Authorization header's value is "Bearer " and then `token`. The comparison takes the
// same time wherever the first difference is and whatever the token's length, so that the time of
// an answer tells nothing about the token.
bool AuthorizationMatches(const std::string& header, const std::string& token);
