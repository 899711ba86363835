#pragma once

#include <string>
#include <string_view>

// Rules written on one line, fault rules and value generators alike, are words one or more blanks
// (spaces or tabs) apart. Sets *word to the word at or after *position and moves *position past
// it; false when only blanks are left.
inline bool NextRuleWord(const std::string& text, size_t* position, std::string_view* word)
{
    const auto isBlank = [](char character) { return character == ' ' || character == '\t'; };
    size_t start = *position;
    while (start < text.size() && isBlank(text[start])) {
        ++start;
    }
    if (start == text.size()) {
        *position = start;
        return false;
    }
    size_t end = start;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    *word = std::string_view(text.data() + start, end - start);
    *position = end;
    return true;
}
