#include "control/state_document.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "control/config_document.h"
#include "control/device_id_document.h"
#include "control/json_rules.h"
#include "control/typed_run.h"
#include "generators/generator.h"
#include "generators/generators.h"
#include "tables/address_window.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

using json = JsonDocument;

// The runs of non-zero cells of a whole table, each a {"start", "values"} document.
template <typename Cell>
json NonZeroRuns(const std::vector<Cell>& table)
{
    json runs = json::array();
    size_t address = 0;
    while (address < table.size()) {
        if (table[address] == 0) {
            ++address;
            continue;
        }
        size_t end = address;
        while (end < table.size() && table[end] != 0) {
            ++end;
        }
        runs.push_back(json{{"start", address}, {"values", std::vector<Cell>(table.begin() + address, table.begin() + end)}});
        address = end;
    }
    return runs;
}

template <typename Run>
bool ParseRuns(const json& document, const char* member,
               bool (*parseRun)(const json&, const std::string&, Run*, std::string*), std::vector<Run>* runs,
               std::string* problem)
{
    if (!document.contains(member)) {
        return true;
    }
    const json& list = document[member];
    if (!list.is_array()) {
        *problem = std::string(member) + ": expected a list of runs such as [{\"start\": 0, \"values\": [...]}]";
        return false;
    }
    runs->resize(list.size());
    for (size_t index = 0; index < list.size(); ++index) {
        if (!parseRun(list[index], ItemPath(member, index), &(*runs)[index], problem)) {
            return false;
        }
    }
    return true;
}

// The table as the runs make it, over zeros.
template <typename Cell, typename Run>
std::vector<Cell> TableOfRuns(const std::vector<Run>& runs)
{
    std::vector<Cell> table(kTableSize, 0);
    for (const Run& run : runs) {
        std::copy(run.values.begin(), run.values.end(), table.begin() + run.start);
    }
    return table;
}

// The generators in order, as their texts.
json GeneratorTexts()
{
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    const int count = CopyGenerators(views.data());
    json texts = json::array();
    for (int index = 0; index < count; ++index) {
        texts.push_back(views[index].text);
    }
    return texts;
}

bool ParseGeneratorTexts(const json& document, std::vector<std::string>* texts, std::string* problem)
{
    if (!document.contains("generators")) {
        return true;
    }
    const json& list = document["generators"];
    if (!list.is_array() || list.size() > static_cast<size_t>(kMaxGeneratorCount)) {
        *problem = "generators: expected a list of at most " + std::to_string(kMaxGeneratorCount) +
                   " texts such as [\"registers 0 uint16 counter\"]";
        return false;
    }
    for (size_t index = 0; index < list.size(); ++index) {
        Generator generator;
        std::string why = "expected a string";
        if (!list[index].is_string() || !ParseGenerator(list[index].get<std::string>(), &generator, &why)) {
            *problem = ItemPath("generators", index) + ": " + why;
            return false;
        }
        texts->push_back(generator.text);
    }
    return true;
}

}  // namespace

json BuildStateDocument()
{
    std::vector<uint16_t> registers(kTableSize);
    PeekRegisters(0, kTableSize, registers.data());
    std::vector<uint8_t> coils(kTableSize);
    PeekCoils(0, kTableSize, coils.data());
    std::vector<uint16_t> inputRegisters(kTableSize);
    PeekInputRegisters(0, kTableSize, inputRegisters.data());
    std::vector<uint8_t> discreteInputs(kTableSize);
    PeekDiscreteInputs(0, kTableSize, discreteInputs.data());
    json document = json::object();
    document["format"] = kStateFormat;
    document["version"] = kStateVersion;
    document["config"] = BuildConfigDocument(ReadServedSettings());
    document["deviceId"] = BuildDeviceIdDocument(ReadDeviceIdentification());
    document["registers"] = NonZeroRuns(registers);
    document["coils"] = NonZeroRuns(coils);
    document["inputRegisters"] = NonZeroRuns(inputRegisters);
    document["discreteInputs"] = NonZeroRuns(discreteInputs);
    // Only when there are some, so that a state without generators reads as it always has.
    if (json generators = GeneratorTexts(); !generators.empty()) {
        document["generators"] = generators;
    }
    return document;
}

bool ParseStateDocument(const json& document, StateDocument* state, std::string* problem)
{
    if (!document.is_object()) {
        *problem = "expected an object with \"format\": \"parvane-state\"";
        return false;
    }
    if (!HasOnlyMembers(document, "",
                        {"format", "version", "config", "deviceId", "registers", "coils", "inputRegisters",
                         "discreteInputs", "generators"},
                        problem)) {
        return false;
    }
    if (!document.contains("format")) {
        *problem = "missing member 'format' (a state document has \"format\": \"parvane-state\")";
        return false;
    }
    if (document["format"] != kStateFormat) {
        *problem = "format: must be \"parvane-state\", got " + JsonText(document["format"]);
        return false;
    }
    if (!document.contains("version")) {
        *problem = "missing member 'version'";
        return false;
    }
    uint64_t version = 0;
    if (!ReadWholeNumber(document["version"], UINT64_MAX, &version) || version != kStateVersion) {
        *problem = "version: " + JsonText(document["version"]) + " is not a version this program reads (it reads 1)";
        return false;
    }
    StateDocument read;
    read.settings = DefaultServedSettings();
    if (document.contains("config") &&
        !ParseConfigDocument(document["config"], "config", DefaultServedSettings(), &read.settings, problem)) {
        return false;
    }
    read.deviceId = DefaultDeviceIdentification();
    if (document.contains("deviceId") &&
        !ParseDeviceIdDocument(document["deviceId"], "deviceId", DefaultDeviceIdentification(), &read.deviceId,
                               problem)) {
        return false;
    }
    if (!ParseRuns(document, "registers", ParseTypedRegisterRun, &read.registers, problem) ||
        !ParseRuns(document, "coils", ParseCoilRun, &read.coils, problem) ||
        !ParseRuns(document, "inputRegisters", ParseTypedRegisterRun, &read.inputRegisters, problem) ||
        !ParseRuns(document, "discreteInputs", ParseCoilRun, &read.discreteInputs, problem)) {
        return false;
    }
    if (!ParseGeneratorTexts(document, &read.generators, problem)) {
        return false;
    }
    *state = std::move(read);
    return true;
}

void ApplyStateDocument(const StateDocument& state)
{
    const std::vector<uint16_t> registers = TableOfRuns<uint16_t>(state.registers);
    PokeRegisters(0, kTableSize, registers.data());
    const std::vector<uint8_t> coils = TableOfRuns<uint8_t>(state.coils);
    PokeCoils(0, kTableSize, coils.data());
    const std::vector<uint16_t> inputRegisters = TableOfRuns<uint16_t>(state.inputRegisters);
    PokeInputRegisters(0, kTableSize, inputRegisters.data());
    const std::vector<uint8_t> discreteInputs = TableOfRuns<uint8_t>(state.discreteInputs);
    PokeDiscreteInputs(0, kTableSize, discreteInputs.data());
    ApplyServedSettings(state.settings);
    ApplyDeviceIdentification(state.deviceId);
    ClearGenerators();
    for (const std::string& text : state.generators) {
        std::string problem;
        AddGenerator(text, &problem, true);   // read once already; whoever loads logs them
    }
}

std::string StateDocumentText(const json& document)
{
    // The members in the documented order, whichever order the document was built in.
    std::string text = "{";
    const char* separator = "\n";
    for (const char* name :
         {"format", "version", "config", "deviceId", "registers", "coils", "inputRegisters", "discreteInputs",
          "generators"}) {
        if (!document.contains(name)) {
            continue;
        }
        const json& value = document[name];
        text += separator;
        text += "  \"" + std::string(name) + "\": ";
        if (value.is_array() && !value.empty()) {
            const char* itemSeparator = "[\n    ";
            for (const json& item : value) {
                text += itemSeparator + item.dump();
                itemSeparator = ",\n    ";
            }
            text += "\n  ]";
        } else {
            text += value.dump();
        }
        separator = ",\n";
    }
    return text + "\n}\n";
}
