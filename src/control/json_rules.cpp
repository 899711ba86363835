#include "control/json_rules.h"

#include <cstring>

#include <nlohmann/json.hpp>

namespace {

using json = JsonDocument;

constexpr size_t kLongestQuotedText = 40;

// Only records where the parser gave up; json::parse without exceptions does not say.
class SyntaxErrorFinder : public nlohmann::json_sax<json> {
public:
    size_t errorPosition = 0;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override
    {
        errorPosition = position;
        return false;
    }
};

}  // namespace

bool ParseJsonText(const std::string& text, json* document, std::string* problem)
{
    *document = json::parse(text, nullptr, false);
    if (!document->is_discarded()) {
        return true;
    }
    SyntaxErrorFinder finder;
    json::sax_parse(text, &finder);
    *problem = "not JSON (syntax error at byte " + std::to_string(finder.errorPosition) + ")";
    return false;
}

std::string MemberPath(const std::string& path, const char* member)
{
    return path.empty() ? std::string(member) : path + "." + member;
}

std::string ItemPath(const std::string& path, size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

std::string Where(const std::string& path)
{
    return path.empty() ? std::string() : path + ": ";
}

std::string JsonText(const json& value)
{
    if (value.is_array()) {
        return "a list";
    }
    if (value.is_object()) {
        return "an object";
    }
    // Parsed text is valid UTF-8; replacing keeps the dump free of exceptions all the same.
    std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
    if (value.is_string() && text.size() > kLongestQuotedText) {
        text = text.substr(0, kLongestQuotedText) + "...\"";
    }
    return text;
}

bool ReadWholeNumber(const json& value, uint64_t maximum, uint64_t* number)
{
    uint64_t read = 0;
    if (value.is_number_unsigned()) {
        read = value.get<uint64_t>();
    } else if (!value.is_number_integer() || value.get<int64_t>() != 0) {
        return false;
    }
    if (read > maximum) {
        return false;
    }
    *number = read;
    return true;
}

bool HasOnlyMembers(const json& object, const std::string& path, std::initializer_list<const char*> allowed,
                    std::string* problem)
{
    for (const auto& member : object.items()) {
        bool known = false;
        for (const char* name : allowed) {
            known = known || member.key() == name;
        }
        if (!known) {
            *problem = Where(path) + "unknown member '" + member.key() + "'";
            return false;
        }
    }
    return true;
}
