#include "control/config_document.h"

#include <nlohmann/json.hpp>

#include "control/json_rules.h"
#include "control/unit_members.h"
#include "modbus/function_codes.h"
#include "tables/address_window.h"

namespace {

using json = JsonDocument;

json WindowDocument(const AddressWindow& window)
{
    return json{{"start", window.first}, {"size", static_cast<uint32_t>(window.last) - window.first + 1}};
}

// {"start": S, "size": N} under the rules of the Configure Data Areas dialog.
bool ParseWindow(const json& document, const std::string& path, AddressWindow* window, std::string* problem)
{
    if (!document.is_object()) {
        *problem = path + ": expected an object such as {\"start\": 0, \"size\": 65536}";
        return false;
    }
    if (!HasOnlyMembers(document, path, {"start", "size"}, problem)) {
        return false;
    }
    for (const char* member : {"start", "size"}) {
        if (!document.contains(member)) {
            *problem = path + ": missing member '" + member + "'";
            return false;
        }
    }
    // Any whole numbers here: one that is too large is told by the range rule below, as the dialog
    // and the command line tell it.
    uint64_t start = 0;
    uint64_t size = 0;
    if (!ReadWholeNumber(document["start"], UINT64_MAX, &start)) {
        *problem = MemberPath(path, "start") + ": must be a whole number from 0 to 65535";
        return false;
    }
    if (!ReadWholeNumber(document["size"], UINT64_MAX, &size)) {
        *problem = MemberPath(path, "size") + ": must be a whole number from 1 to 65536";
        return false;
    }
    switch (CheckWindowRange(start, size)) {
    case WindowRange::kSizeZero:
        *problem = MemberPath(path, "size") + ": must be at least 1";
        return false;
    case WindowRange::kPastTableEnd:
        *problem = path + ": start + size must be at most 65536, got " + std::to_string(start) + " + " +
                   std::to_string(size);
        return false;
    case WindowRange::kFits:
        break;
    }
    *window = WindowOfRange(static_cast<uint32_t>(start), static_cast<uint32_t>(size));
    return true;
}

bool ParseDisabledFunctions(const json& document, const std::string& path, bool* disabled, std::string* problem)
{
    if (!document.is_array()) {
        *problem = path + ": expected a list of function codes such as [5, 6]";
        return false;
    }
    bool read[256] = {};
    for (size_t index = 0; index < document.size(); ++index) {
        uint64_t code = 0;
        if (!ReadWholeNumber(document[index], UINT8_MAX, &code) || !IsServedFunctionCode(static_cast<unsigned>(code))) {
            *problem = ItemPath(path, index) + ": " + JsonText(document[index]) + " is not one of the function codes " +
                       ServedFunctionCodesText(", ");
            return false;
        }
        read[code] = true;
    }
    for (uint8_t code : kServedFunctionCodes) {
        disabled[code] = read[code];
    }
    return true;
}

}  // namespace

json BuildConfigDocument(const ServedSettings& settings)
{
    json disabled = json::array();
    for (uint8_t code : kServedFunctionCodes) {
        if (settings.disabled[code]) {
            disabled.push_back(code);
        }
    }
    json document{{"registers", WindowDocument(settings.registerWindow)},
                  {"coils", WindowDocument(settings.coilWindow)},
                  {"inputRegisters", WindowDocument(settings.inputRegisterWindow)},
                  {"discreteInputs", WindowDocument(settings.discreteInputWindow)},
                  {"disabledFunctions", disabled},
                  {"standardLimits", settings.standardLimits}};
    AddUnitMembers(settings, &document);
    return document;
}

bool ParseConfigDocument(const json& document, const std::string& path, const ServedSettings& base,
                         ServedSettings* settings, std::string* problem)
{
    if (!document.is_object()) {
        *problem = Where(path) + "expected an object with any of the members registers, coils, inputRegisters, "
                                 "discreteInputs, disabledFunctions, standardLimits, unitIds, unknownUnit";
        return false;
    }
    if (!HasOnlyMembers(document, path,
                        {"registers", "coils", "inputRegisters", "discreteInputs", "disabledFunctions", "standardLimits",
                         "unitIds", "unknownUnit"},
                        problem)) {
        return false;
    }
    ServedSettings read = base;
    if (document.contains("registers") &&
        !ParseWindow(document["registers"], MemberPath(path, "registers"), &read.registerWindow, problem)) {
        return false;
    }
    if (document.contains("coils") &&
        !ParseWindow(document["coils"], MemberPath(path, "coils"), &read.coilWindow, problem)) {
        return false;
    }
    if (document.contains("inputRegisters") &&
        !ParseWindow(document["inputRegisters"], MemberPath(path, "inputRegisters"), &read.inputRegisterWindow,
                     problem)) {
        return false;
    }
    if (document.contains("discreteInputs") &&
        !ParseWindow(document["discreteInputs"], MemberPath(path, "discreteInputs"), &read.discreteInputWindow,
                     problem)) {
        return false;
    }
    if (document.contains("disabledFunctions") &&
        !ParseDisabledFunctions(document["disabledFunctions"], MemberPath(path, "disabledFunctions"), read.disabled,
                                problem)) {
        return false;
    }
    if (document.contains("standardLimits")) {
        if (!document["standardLimits"].is_boolean()) {
            *problem = MemberPath(path, "standardLimits") + ": must be true or false, got " +
                       JsonText(document["standardLimits"]);
            return false;
        }
        read.standardLimits = document["standardLimits"].get<bool>();
    }
    if (!ParseUnitMembers(document, path, &read, problem)) {
        return false;
    }
    *settings = read;
    return true;
}
