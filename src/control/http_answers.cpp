#include "control/http_answers.h"

#include <charconv>
#include <cstdio>

#include "tables/address_window.h"

void AnswerJson(httplib::Response& response, const JsonDocument& document, int status)
{
    response.status = status;
    response.set_content(document.dump(-1, ' ', false, JsonDocument::error_handler_t::replace), kJsonContentType);
}

void AnswerError(httplib::Response& response, int status, const std::string& sentence) noexcept
{
    response.status = status;
    try {
        AnswerJson(response, JsonDocument{{"error", sentence}}, status);
    } catch (...) {
        try {
            response.set_content("{\"error\": \"the answer could not be built\"}", kJsonContentType);
        } catch (...) {
            response.body.clear();
        }
    }
}

bool ReadJsonBody(const httplib::Request& request, httplib::Response& response, JsonDocument* document)
{
    std::string problem;
    if (!ParseJsonText(request.body, document, &problem)) {
        AnswerError(response, 400, problem);
        return false;
    }
    return true;
}

bool ReadTextBody(const httplib::Request& request, httplib::Response& response, const char* member,
                  const char* example, std::string* text)
{
    JsonDocument document;
    if (!ReadJsonBody(request, response, &document)) {
        return false;
    }
    std::string problem;
    if (!document.is_object()) {
        problem = std::string("expected an object such as {\"") + member + "\": \"" + example + "\"}, got " +
                  JsonText(document);
    } else if (HasOnlyMembers(document, "", {member}, &problem)) {
        if (document.contains(member) && document[member].is_string()) {
            *text = document[member].get<std::string>();
            return true;
        }
        problem = std::string(member) + ": must be a string such as \"" + example + "\"";
    }
    AnswerError(response, 400, problem);
    return false;
}

bool ReadPathId(const httplib::Request& request, httplib::Response& response, const char* what, uint32_t* id)
{
    const std::string idText = request.matches.size() > 1 ? request.matches[1].str() : "";
    uint64_t number = 0;
    if (idText.empty() || idText.size() > 10 || idText.find_first_not_of("0123456789") != std::string::npos ||
        (number = std::stoull(idText)) == 0 || number > UINT32_MAX) {
        AnswerError(response, 400,
                    "'" + idText + "' is not a " + what + " id: expected a number from 1 to 4294967295");
        return false;
    }
    *id = static_cast<uint32_t>(number);
    return true;
}

bool ReadQueryNumber(const httplib::Request& request, const char* name, uint64_t minimum, uint64_t maximum,
                     const uint64_t* fallback, uint64_t* value, std::string* problem)
{
    const std::string rule = std::to_string(minimum) + ".." + std::to_string(maximum);
    if (!request.has_param(name)) {
        if (fallback != nullptr) {
            *value = *fallback;
            return true;
        }
        *problem = std::string(name) + ": missing; give " + name + "=N with N in " + rule;
        return false;
    }
    const std::string text = request.get_param_value(name);
    uint64_t number = 0;
    bool digitsOnly = !text.empty();
    for (char c : text) {
        digitsOnly = digitsOnly && c >= '0' && c <= '9';
    }
    if (!digitsOnly) {
        *problem = std::string(name) + ": '" + text + "' is not a decimal number in " + rule;
        return false;
    }
    const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), number);
    if (read.ec != std::errc() || number < minimum || number > maximum) {
        *problem = std::string(name) + ": " + text + " is not in " + rule;
        return false;
    }
    *value = number;
    return true;
}

bool ReadCellRange(const httplib::Request& request, CellRange* range, std::string* problem)
{
    uint64_t start = 0;
    uint64_t count = 0;
    if (!ReadQueryNumber(request, "start", 0, kTableSize - 1, nullptr, &start, problem) ||
        !ReadQueryNumber(request, "count", 1, kTableSize, nullptr, &count, problem)) {
        return false;
    }
    if (CheckWindowRange(start, count) != WindowRange::kFits) {
        *problem = "start + count: " + std::to_string(start) + " + " + std::to_string(count) + " is past " +
                   std::to_string(kTableSize) + ", the end of the table";
        return false;
    }
    *range = CellRange{static_cast<uint32_t>(start), static_cast<uint32_t>(count)};
    return true;
}

std::string TimeText(const TimeOfDay& time)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time.hour, time.minute, time.second, time.millisecond);
    return text;
}

std::string HexText(const uint8_t* bytes, size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text(count * 2, '0');
    for (size_t index = 0; index < count; ++index) {
        text[2 * index] = kDigits[bytes[index] >> 4];
        text[2 * index + 1] = kDigits[bytes[index] & 0x0F];
    }
    return text;
}
