#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "control/json_rules.h"

#include "platform/clock.h"

// How every route answers: JSON documents with their members in the order written, and one shape
// for every error, {"error": "..."}, with a sentence that names what is wrong and the rule.

inline constexpr const char* kJsonContentType = "application/json";

// 200 (or `status`) with the document. Text that is not UTF-8 (a log message in another encoding)
// is sent with replacement characters instead of failing.
void AnswerJson(httplib::Response& response, const JsonDocument& document, int status = 200);

// `status` (4xx or 5xx) with {"error": sentence}. Never throws: it is also the last resort when
// building any other answer failed.
void AnswerError(httplib::Response& response, int status, const std::string& sentence) noexcept;

// The request's body as one JSON document; false when it is not JSON, answered 400 saying where
// the text stops being JSON.
bool ReadJsonBody(const httplib::Request& request, httplib::Response& response, JsonDocument* document);

// The body of a POST that adds one text, {"MEMBER": "TEXT"} and nothing else; false when it is
// something else, answered 400 with `example` (e.g. "drop fc=3") in the sentence.
bool ReadTextBody(const httplib::Request& request, httplib::Response& response, const char* member,
                  const char* example, std::string* text);

// The number at the end of a path such as /api/v1/faults/ID, from 1 to 4294967295; false when it
// is something else, answered 400 saying that it is not a `what` id.
bool ReadPathId(const httplib::Request& request, httplib::Response& response, const char* what, uint32_t* id);

// The query parameter `name` as a decimal number from `minimum` to `maximum`. A missing parameter
// is `fallback` when one is given, and otherwise a problem. False with *problem naming the
// parameter and the rule, e.g. "count: 0 is not in 1..65536".
bool ReadQueryNumber(const httplib::Request& request, const char* name, uint64_t minimum, uint64_t maximum,
                     const uint64_t* fallback, uint64_t* value, std::string* problem);

// A run of table cells asked for by ?start=S&count=N: 1 <= N and S + N <= 65536.
struct CellRange {
    uint32_t start;
    uint32_t count;
};
bool ReadCellRange(const httplib::Request& request, CellRange* range, std::string* problem);

// "HH:MM:SS.mmm", as the log stamps its lines.
std::string TimeText(const TimeOfDay& time);

// Bytes as lowercase hexadecimal digits, two per byte, without separators.
std::string HexText(const uint8_t* bytes, size_t count);
