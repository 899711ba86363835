#include "control/bearer_token.h"

#include <cctype>

#include "platform/files.h"

namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsTokenCharacter(char c)
{
    return std::isgraph(static_cast<unsigned char>(c)) != 0;
}

// Equal strings, in time that depends only on the length of `presented` (the caller's), never on
// where they differ or on the length of `expected`.
bool SameInConstantTime(const std::string& presented, const std::string& expected)
{
    if (expected.empty()) {
        return false;
    }
    unsigned difference = presented.size() == expected.size() ? 0u : 1u;
    for (size_t index = 0; index < presented.size(); ++index) {
        difference |= static_cast<unsigned char>(presented[index]) ^
                      static_cast<unsigned char>(expected[index % expected.size()]);
    }
    return difference == 0;
}

}  // namespace

bool ReadBearerToken(const std::string& path, std::string* token, std::string* problem)
{
    std::string contents;
    if (int error = ReadWholeFile(path.c_str(), &contents); error != 0) {
        *problem = "--http-token-file " + path + ": " + FileErrorText(error);
        return false;
    }
    size_t begin = 0;
    size_t end = contents.size();
    while (begin < end && IsBlank(contents[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(contents[end - 1])) {
        --end;
    }
    if (begin == end) {
        *problem = "--http-token-file " + path + ": the file holds no token";
        return false;
    }
    for (size_t index = begin; index < end; ++index) {
        if (!IsTokenCharacter(contents[index])) {
            *problem = "--http-token-file " + path +
                       ": the token must be one word of visible characters, without blanks or line breaks";
            return false;
        }
    }
    *token = contents.substr(begin, end - begin);
    return true;
}

bool AuthorizationMatches(const std::string& header, const std::string& token)
{
    static const std::string kScheme = "Bearer ";
    if (header.size() < kScheme.size()) {
        return false;
    }
    // The scheme's name is case-insensitive in HTTP; it is no secret.
    for (size_t index = 0; index < kScheme.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(header[index])) !=
            std::tolower(static_cast<unsigned char>(kScheme[index]))) {
            return false;
        }
    }
    return SameInConstantTime(header.substr(kScheme.size()), token);
}
