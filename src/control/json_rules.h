#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json_fwd.hpp>

// What the control interface's documents share: reading JSON text without exceptions, and naming
// what is wrong by the path of the member, as in "registers[2].values[7]: 70000 is not in 0..65535".
// A path is empty for a whole document, so that its messages start with the member itself.

// Every document and answer keeps its members in the order they were written, so that a saved
// state file and an answer read as the documentation shows them (nlohmann::json would sort them).
using JsonDocument = nlohmann::ordered_json;

// Parses `text`; false with *problem "not JSON (syntax error at byte N)", N counting from 1.
bool ParseJsonText(const std::string& text, JsonDocument* document, std::string* problem);

// "start", "config.registers": a member of the object at `path`.
std::string MemberPath(const std::string& path, const char* member);
// "values[3]", "registers[2]": an item of the list at `path`.
std::string ItemPath(const std::string& path, size_t index);
// What a message about the value at `path` starts with: "" for a whole document, else "PATH: ".
std::string Where(const std::string& path);

// A value as a message shows it: numbers and short strings as written, longer strings cut, lists
// and objects by their kind only (a deep one would take a deep recursion to print).
std::string JsonText(const JsonDocument& value);

// A whole number of at most `maximum`: an unsigned JSON integer (or -0), never a fraction or a
// string of digits.
bool ReadWholeNumber(const JsonDocument& value, uint64_t maximum, uint64_t* number);

// False with *problem "PATH: unknown member 'NAME'" when the object has a member not in `allowed`,
// so that a misspelt member is refused instead of silently left out.
bool HasOnlyMembers(const JsonDocument& object, const std::string& path, std::initializer_list<const char*> allowed,
                    std::string* problem);
