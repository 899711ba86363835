#include "faults/fault_rule.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "faults/rule_words.h"

namespace {

constexpr uint32_t kMaxFunctionCode = 127;   // codes above are exception responses
constexpr uint32_t kMaxAddress = 65535;
constexpr uint32_t kMaxUnit = 255;
constexpr uint32_t kMaxExceptionCode = 255;
constexpr uint32_t kMaxPort = 65535;

constexpr const char* kCorruptFieldNames[] = {"transaction-id", "protocol-id", "length",
                                              "unit-id",        "function",    "byte-count"};

// A plain unsigned decimal from `minimum` to `maximum`: digits only, no sign, no blanks.
bool ReadNumber(std::string_view text, uint32_t minimum, uint32_t maximum, uint32_t* value)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    uint64_t number = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(digit - '0');
    }
    if (number < minimum || number > maximum) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

// N or N-M (N at most M), each from `minimum` to `maximum`.
bool ReadRange(std::string_view text, uint32_t minimum, uint32_t maximum, uint32_t* first, uint32_t* last)
{
    size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!ReadNumber(text, minimum, maximum, first)) {
            return false;
        }
        *last = *first;
        return true;
    }
    return ReadNumber(text.substr(0, dash), minimum, maximum, first) &&
           ReadNumber(text.substr(dash + 1), minimum, maximum, last) && *first <= *last;
}

// One word and why it could not be read, the form every refusal takes.
bool Refuse(std::string_view word, const char* why, std::string* problem)
{
    *problem = "cannot read '" + std::string(word) + "': " + why;
    return false;
}

bool ReadDelay(std::string_view value, FaultRule* rule)
{
    return ReadRange(value, 0, kMaxFaultDelayMilliseconds, &rule->value, &rule->secondValue);
}

bool ReadCorruptField(std::string_view value, FaultRule* rule)
{
    for (uint32_t field = 0; field < std::size(kCorruptFieldNames); ++field) {
        if (value == kCorruptFieldNames[field]) {
            rule->value = field;
            return true;
        }
    }
    return false;
}

bool ReadSplit(std::string_view value, FaultRule* rule)
{
    size_t slash = value.find('/');
    rule->secondValue = kDefaultFaultSplitPauseMilliseconds;
    if (slash != std::string_view::npos &&
        !ReadNumber(value.substr(slash + 1), 0, kMaxFaultSplitPauseMilliseconds, &rule->secondValue)) {
        return false;
    }
    return ReadNumber(value.substr(0, slash), 1, kMaxFaultPieceBytes, &rule->value);
}

struct ActionForm {
    const char* name;
    FaultAction action;
    bool takesValue;
    const char* rule;   // what the value must be, for the refusal
};

constexpr ActionForm kActionForms[] = {
    {"delay", FaultAction::kDelay, true, "expected delay=MS or delay=MIN-MAX, milliseconds 0 to 3600000, MIN at most MAX"},
    {"drop", FaultAction::kDrop, false, "drop takes no value"},
    {"close", FaultAction::kClose, false, "close takes no value"},
    {"exception", FaultAction::kException, true, "expected exception=N with N from 1 to 255"},
    {"corrupt", FaultAction::kCorrupt, true,
     "expected corrupt=FIELD with FIELD one of transaction-id, protocol-id, length, unit-id, function, byte-count"},
    {"truncate", FaultAction::kTruncate, true, "expected truncate=N with N from 1 to 259"},
    {"split", FaultAction::kSplit, true, "expected split=N or split=N/MS, N from 1 to 259, MS from 0 to 60000"},
    {"garbage", FaultAction::kGarbage, true, "expected garbage=N with N from 1 to 1024"},
};

bool ReadActionValue(FaultAction action, std::string_view value, FaultRule* rule)
{
    switch (action) {
    case FaultAction::kDelay:
        return ReadDelay(value, rule);
    case FaultAction::kException:
        return ReadNumber(value, 1, kMaxExceptionCode, &rule->value);
    case FaultAction::kCorrupt:
        return ReadCorruptField(value, rule);
    case FaultAction::kTruncate:
        return ReadNumber(value, 1, kMaxFaultPieceBytes, &rule->value);
    case FaultAction::kSplit:
        return ReadSplit(value, rule);
    case FaultAction::kGarbage:
        return ReadNumber(value, 1, kMaxFaultGarbageBytes, &rule->value);
    default:
        return false;
    }
}

bool ReadAction(std::string_view word, FaultRule* rule, std::string* problem)
{
    size_t equals = word.find('=');
    std::string_view name = word.substr(0, equals);
    for (const ActionForm& form : kActionForms) {
        if (name != form.name) {
            continue;
        }
        rule->action = form.action;
        bool hasValue = equals != std::string_view::npos;
        if (hasValue != form.takesValue ||
            (hasValue && !ReadActionValue(form.action, word.substr(equals + 1), rule))) {
            return Refuse(word, form.rule, problem);
        }
        return true;
    }
    return Refuse(word, "not an action: expected delay, drop, close, exception, corrupt, truncate, split or garbage",
                  problem);
}

// fc=3,16: codes 1 to 127, comma-separated.
bool ReadFunctionCodes(std::string_view value, FaultRule* rule)
{
    rule->functionCodes[0] = 0;
    rule->functionCodes[1] = 0;
    for (;;) {
        size_t comma = value.find(',');
        uint32_t code = 0;
        if (!ReadNumber(value.substr(0, comma), 1, kMaxFunctionCode, &code)) {
            return false;
        }
        rule->functionCodes[code / 64] |= uint64_t{1} << (code % 64);
        if (comma == std::string_view::npos) {
            return true;
        }
        value.remove_prefix(comma + 1);
    }
}

bool IsDottedIpv4(std::string_view text)
{
    for (int part = 0; part < 4; ++part) {
        size_t dot = part < 3 ? text.find('.') : text.size();
        uint32_t number = 0;
        std::string_view digits = text.substr(0, dot);
        if (dot == std::string_view::npos || (digits.size() > 1 && digits[0] == '0') ||
            !ReadNumber(digits, 0, 255, &number)) {
            return false;
        }
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return text.empty();
}

// An IPv6 literal as the log writes it: hexadecimal groups and colons, perhaps a dotted tail.
bool LooksLikeIpv6(std::string_view text)
{
    if (text.size() < 2 || text.size() > 45 || text.find(':') == text.rfind(':')) {
        return false;
    }
    for (char character : text) {
        bool hex = (character >= '0' && character <= '9') || (character >= 'a' && character <= 'f');
        if (!hex && character != ':' && character != '.') {
            return false;
        }
    }
    return true;
}

// peer=127.0.0.1, peer=127.0.0.1:40112, peer=::1, peer=[::1] or peer=[::1]:40112; kept in the
// form the log shows peers in ("[::1]:40112"), so that matching compares texts.
bool ReadPeer(std::string_view value, FaultRule* rule)
{
    std::string_view address = value;
    std::string_view port;
    bool bracketed = !value.empty() && value[0] == '[';
    if (bracketed) {
        size_t close = value.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        address = value.substr(1, close - 1);
        std::string_view rest = value.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            return false;
        }
        port = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && port.empty()) {
            return false;
        }
    } else if (size_t colon = value.find(':'); colon != std::string_view::npos && value.find(':', colon + 1) == std::string_view::npos) {
        address = value.substr(0, colon);
        port = value.substr(colon + 1);
        if (port.empty()) {
            return false;
        }
    }
    bool ipv4 = IsDottedIpv4(address);
    if (!ipv4 && !LooksLikeIpv6(address)) {
        return false;
    }
    if (ipv4 && bracketed) {
        return false;
    }
    uint32_t portNumber = 0;
    if (!port.empty() && !ReadNumber(port, 1, kMaxPort, &portNumber)) {
        return false;
    }
    std::string text = ipv4 ? std::string(address) : "[" + std::string(address) + "]";
    if (!port.empty()) {
        text += ":" + std::string(port);
    }
    std::memcpy(rule->peer, text.c_str(), text.size() + 1);
    return true;
}

bool ReadProbability(std::string_view value, FaultRule* rule)
{
    double probability = -1;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), probability, std::chars_format::fixed);
    if (error != std::errc() || end != value.data() + value.size() || value[0] == '-' || !(probability >= 0) ||
        probability > 1) {
        return false;
    }
    rule->probability = probability;
    return true;
}

struct ConditionForm {
    const char* name;
    const char* rule;   // what the value must be, for the refusal
};

constexpr ConditionForm kConditionForms[] = {
    {"fc", "expected fc=CODES, function codes 1 to 127, comma-separated"},
    {"address", "expected address=N or address=FIRST-LAST, 0 to 65535, FIRST at most LAST"},
    {"unit", "expected unit=N or unit=FIRST-LAST, 0 to 255, FIRST at most LAST"},
    {"peer", "expected peer=ADDRESS or peer=ADDRESS:PORT, e.g. 127.0.0.1 or [::1]:40112"},
    {"every", "expected every=N with N from 1 to 1000000000"},
    {"after", "expected after=N with N from 0 to 1000000000"},
    {"count", "expected count=N with N from 1 to 1000000000"},
    {"probability", "expected probability=P with P from 0 to 1, e.g. 0.25"},
};

bool ReadConditionValue(int condition, std::string_view value, FaultRule* rule)
{
    uint32_t first = 0;
    uint32_t last = 0;
    switch (condition) {
    case 0:
        return ReadFunctionCodes(value, rule);
    case 1:
        rule->addressGiven = ReadRange(value, 0, kMaxAddress, &first, &last);
        rule->firstAddress = static_cast<uint16_t>(first);
        rule->lastAddress = static_cast<uint16_t>(last);
        return rule->addressGiven;
    case 2:
        if (!ReadRange(value, 0, kMaxUnit, &first, &last)) {
            return false;
        }
        rule->firstUnit = static_cast<uint8_t>(first);
        rule->lastUnit = static_cast<uint8_t>(last);
        return true;
    case 3:
        return ReadPeer(value, rule);
    case 4:
        return ReadNumber(value, 1, kMaxFaultCounter, &rule->every);
    case 5:
        return ReadNumber(value, 0, kMaxFaultCounter, &rule->after);
    case 6:
        return ReadNumber(value, 1, kMaxFaultCounter, &rule->count);
    default:
        return ReadProbability(value, rule);
    }
}

bool ReadCondition(std::string_view word, unsigned* given, FaultRule* rule, std::string* problem)
{
    size_t equals = word.find('=');
    std::string_view name = word.substr(0, equals);
    for (int condition = 0; condition < static_cast<int>(std::size(kConditionForms)); ++condition) {
        if (name != kConditionForms[condition].name) {
            continue;
        }
        if (*given & (1u << condition)) {
            return Refuse(word, "the condition is given twice", problem);
        }
        *given |= 1u << condition;
        if (equals == std::string_view::npos || !ReadConditionValue(condition, word.substr(equals + 1), rule)) {
            return Refuse(word, kConditionForms[condition].rule, problem);
        }
        return true;
    }
    return Refuse(word,
                  "not a condition: expected fc, address, unit, peer, every, after, count or probability", problem);
}

void ClearRule(FaultRule* rule)
{
    *rule = FaultRule{};
    rule->functionCodes[0] = ~uint64_t{0};
    rule->functionCodes[1] = ~uint64_t{0};
    rule->firstUnit = 0;
    rule->lastUnit = static_cast<uint8_t>(kMaxUnit);
    rule->every = 1;
    rule->probability = 1;
}

}  // namespace

bool ParseFaultRule(const std::string& text, FaultRule* rule, std::string* problem)
{
    ClearRule(rule);
    std::string kept;
    unsigned given = 0;
    size_t position = 0;
    bool first = true;
    std::string_view word;
    while (NextRuleWord(text, &position, &word)) {
        if (first ? !ReadAction(word, rule, problem) : !ReadCondition(word, &given, rule, problem)) {
            return false;
        }
        kept += (first ? "" : " ") + std::string(word);
        first = false;
    }
    if (first) {
        *problem = "the rule is empty: expected ACTION[=VALUE] [CONDITION ...]";
        return false;
    }
    if (kept.size() >= kFaultRuleTextSize) {
        *problem = "the rule is longer than " + std::to_string(kFaultRuleTextSize - 1) + " characters";
        return false;
    }
    std::memcpy(rule->text, kept.c_str(), kept.size() + 1);
    return true;
}

const char* FaultActionName(FaultAction action)
{
    for (const ActionForm& form : kActionForms) {
        if (form.action == action) {
            return form.name;
        }
    }
    return "none";
}

const char* CorruptFieldName(CorruptField field)
{
    return kCorruptFieldNames[static_cast<int>(field)];
}
