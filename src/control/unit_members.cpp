#include "control/unit_members.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "server/unit_list.h"

namespace {

using json = JsonDocument;

bool ParseUnitIds(const json& value, const std::string& path, bool* unserved, std::string* problem)
{
    if (value.is_null()) {
        std::fill(unserved, unserved + kUnitIdCount, false);
        return true;
    }
    if (!value.is_string()) {
        *problem = path + ": expected a list such as \"1,2,10-20\", or null for every unit, got " + JsonText(value);
        return false;
    }
    std::string why;
    if (!ParseUnitList(value.get<std::string>(), unserved, &why)) {
        *problem = path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace

void AddUnitMembers(const ServedSettings& settings, json* document)
{
    const bool everyUnit = std::none_of(settings.unitUnserved, settings.unitUnserved + kUnitIdCount,
                                        [](bool unserved) { return unserved; });
    (*document)["unitIds"] = everyUnit ? json(nullptr) : json(UnitListText(settings.unitUnserved));
    (*document)["unknownUnit"] = UnknownUnitAnswerName(settings.unknownUnit);
}

bool ParseUnitMembers(const json& document, const std::string& path, ServedSettings* settings, std::string* problem)
{
    if (document.contains("unitIds") &&
        !ParseUnitIds(document["unitIds"], MemberPath(path, "unitIds"), settings->unitUnserved, problem)) {
        return false;
    }
    if (document.contains("unknownUnit")) {
        const json& value = document["unknownUnit"];
        if (!value.is_string() || !ParseUnknownUnitAnswer(value.get<std::string>(), &settings->unknownUnit)) {
            *problem = MemberPath(path, "unknownUnit") + ": must be \"none\" or \"exception\", got " + JsonText(value);
            return false;
        }
    }
    return true;
}
