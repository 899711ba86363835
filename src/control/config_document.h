#pragma once

#include <string>

#include "control/json_rules.h"

#include "server/served_settings.h"

// The served settings as a document:
//   {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 65536},
//    "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536},
//    "disabledFunctions": [5, 6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"}
// A window is a start and a size, as the Configure Data Areas dialog and the command line's window
// options take it, under the same rules; disabledFunctions lists the served codes switched off, in
// ascending order, and names every one of them (a code left out is enabled); standardLimits is true
// for the Modbus application protocol's write limits and code 23 order, false for the server's own;
// unitIds and unknownUnit are control/unit_members.h's.

JsonDocument BuildConfigDocument(const ServedSettings& settings);

// Reads a document that may leave members out: each member it has replaces that
// part of `base` whole (a window needs both its start and its size), the others keep base's. The
// whole document is checked before *settings is written; false with *problem naming the member and
// the rule, e.g. "registers.size: must be at least 1". `path` names the document within a larger
// one ("config" gives "config.registers.size: ..."); empty for a document of its own.
bool ParseConfigDocument(const JsonDocument& document, const std::string& path, const ServedSettings& base,
                         ServedSettings* settings, std::string* problem);
