#include "control/value_run.h"

#include <nlohmann/json.hpp>

#include "control/json_rules.h"
#include "tables/address_window.h"

namespace {

using json = JsonDocument;

constexpr uint64_t kHighestAddress = kTableSize - 1;
constexpr uint64_t kHighestRegisterValue = 65535;

bool ReadRegisterValue(const json& cell, uint16_t* value, std::string* rule)
{
    uint64_t number = 0;
    if (ReadWholeNumber(cell, kHighestRegisterValue, &number)) {
        *value = static_cast<uint16_t>(number);
        return true;
    }
    *rule = JsonText(cell) + (cell.is_number_integer() ? " is not in 0..65535" : " is not a whole number from 0 to 65535");
    return false;
}

bool ReadCoilValue(const json& cell, uint8_t* value, std::string* rule)
{
    uint64_t number = 0;
    if (cell.is_boolean()) {
        *value = cell.get<bool>() ? 1 : 0;
        return true;
    }
    if (ReadWholeNumber(cell, 1, &number)) {
        *value = static_cast<uint8_t>(number);
        return true;
    }
    *rule = JsonText(cell) + " is not one of 0, 1, true, false";
    return false;
}

}  // namespace

bool ReadRunStart(const json& document, const std::string& path, std::initializer_list<const char*> allowed,
                  uint64_t* start, std::string* problem)
{
    if (!HasOnlyMembers(document, path, allowed, problem)) {
        return false;
    }
    for (const char* member : {"start", "values"}) {
        if (!document.contains(member)) {
            *problem = Where(path) + "missing member '" + member + "'";
            return false;
        }
    }
    if (!ReadWholeNumber(document["start"], kHighestAddress, start)) {
        *problem = MemberPath(path, "start") + ": must be a whole number from 0 to 65535";
        return false;
    }
    return true;
}

namespace {

// The checks both tables' runs share, in the order their messages are most useful: the shape, the
// start, the count against the table's end, then each value.
template <typename Cell>
bool ParseRun(const json& document, const std::string& path, bool (*readValue)(const json&, Cell*, std::string*),
              uint16_t* start, std::vector<Cell>* values, std::string* problem)
{
    if (!document.is_object()) {
        *problem = Where(path) + "expected an object such as {\"start\": 0, \"values\": [...]}";
        return false;
    }
    uint64_t first = 0;
    if (!ReadRunStart(document, path, {"start", "values"}, &first, problem)) {
        return false;
    }
    const json& list = document["values"];
    const std::string listPath = MemberPath(path, "values");
    if (!list.is_array()) {
        *problem = listPath + ": expected a list of values";
        return false;
    }
    if (list.empty()) {
        *problem = listPath + ": must hold at least one value";
        return false;
    }
    if (first + list.size() > kTableSize) {
        *problem = Where(path) + "the run from " + std::to_string(first) + " with " + std::to_string(list.size()) +
                   " values passes address 65535";
        return false;
    }
    std::vector<Cell> read(list.size());
    for (size_t index = 0; index < list.size(); ++index) {
        std::string rule;
        if (!readValue(list[index], &read[index], &rule)) {
            *problem = ItemPath(listPath, index) + ": " + rule;
            return false;
        }
    }
    *start = static_cast<uint16_t>(first);
    *values = std::move(read);
    return true;
}

}  // namespace

bool ParseRegisterRun(const json& document, const std::string& path, RegisterRun* run, std::string* problem)
{
    return ParseRun(document, path, ReadRegisterValue, &run->start, &run->values, problem);
}

bool ParseCoilRun(const json& document, const std::string& path, CoilRun* run, std::string* problem)
{
    return ParseRun(document, path, ReadCoilValue, &run->start, &run->values, problem);
}

json RegisterRunDocument(const RegisterRun& run)
{
    return json{{"start", run.start}, {"values", run.values}};
}

json CoilRunDocument(const CoilRun& run)
{
    return json{{"start", run.start}, {"values", run.values}};
}
