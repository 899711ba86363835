#pragma once

#include <string>

#include "control/json_rules.h"
#include "server/served_settings.h"

// The served units as members of the config document:
//   "unitIds": "1,2,10-20"    the units answered, as --unit-ids lists them; null for every unit
//   "unknownUnit": "none"     what a request for another unit gets: "none" or "exception"

void AddUnitMembers(const ServedSettings& settings, JsonDocument* document);

// Reads whichever of the two members the object has into *settings, leaving the others; false with
// *problem naming the member and the rule, e.g. "config.unitIds: '5-2' is not a range: ...".
bool ParseUnitMembers(const JsonDocument& document, const std::string& path, ServedSettings* settings,
                      std::string* problem);
