#include "server/unit_list.h"

#include "server/listen_options.h"

namespace {

constexpr uint32_t kHighestUnitId = kUnitIdCount - 1;

// One item, "7" or "10-20", as its first and last unit.
bool ParseUnitItem(const std::string& item, uint32_t* first, uint32_t* last, std::string* problem)
{
    const std::string::size_type dash = item.find('-');
    const std::string from = item.substr(0, dash);
    const std::string to = dash == std::string::npos ? from : item.substr(dash + 1);
    if (!ParseDecimalNumber(from, kHighestUnitId, first) || !ParseDecimalNumber(to, kHighestUnitId, last)) {
        *problem = "'" + item + "' is not a unit identifier from 0 to 255 or a range of them such as 10-20";
        return false;
    }
    if (*first > *last) {
        *problem = "'" + item + "' is not a range: it must run upwards, such as " + to + "-" + from;
        return false;
    }
    return true;
}

}  // namespace

bool ParseUnitList(const std::string& text, bool unserved[kUnitIdCount], std::string* problem)
{
    if (text.empty()) {
        *problem = "expected unit identifiers and ranges such as 1,2,10-20, got nothing";
        return false;
    }
    bool served[kUnitIdCount] = {};
    std::string::size_type begin = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', begin);
        const std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        uint32_t first = 0;
        uint32_t last = 0;
        if (!ParseUnitItem(item, &first, &last, problem)) {
            return false;
        }
        for (uint32_t unit = first; unit <= last; ++unit) {
            served[unit] = true;
        }
        if (comma == std::string::npos) {
            break;
        }
        begin = comma + 1;
    }
    for (int unit = 0; unit < kUnitIdCount; ++unit) {
        unserved[unit] = !served[unit];
    }
    return true;
}

std::string UnitListText(const bool unserved[kUnitIdCount])
{
    std::string text;
    int unit = 0;
    while (unit < kUnitIdCount) {
        if (unserved[unit]) {
            ++unit;
            continue;
        }
        int last = unit;
        while (last + 1 < kUnitIdCount && !unserved[last + 1]) {
            ++last;
        }
        text += (text.empty() ? "" : ",") + std::to_string(unit);
        if (last > unit) {
            text += "-" + std::to_string(last);
        }
        unit = last + 1;
    }
    return text;
}

bool ParseUnknownUnitAnswer(const std::string& text, UnknownUnitAnswer* answer)
{
    if (text == "none") {
        *answer = UnknownUnitAnswer::kNone;
        return true;
    }
    if (text == "exception") {
        *answer = UnknownUnitAnswer::kException;
        return true;
    }
    return false;
}

const char* UnknownUnitAnswerName(UnknownUnitAnswer answer)
{
    return answer == UnknownUnitAnswer::kException ? "exception" : "none";
}
