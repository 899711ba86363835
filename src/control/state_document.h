#pragma once

#include <string>
#include <vector>

#include "control/json_rules.h"

#include "control/value_run.h"
#include "modbus/device_identification.h"
#include "server/served_settings.h"

// The whole served state as one document:
//   {"format": "parvane-state", "version": 1, "config": {...as the config document...},
//    "deviceId": {...as the device-id document...},
//    "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}],
//    "inputRegisters": [...], "discreteInputs": [...]}
// It stands for all of the state: a cell that no run names is 0, and settings that the config
// leaves out (or a missing config) are a fresh launch's, whole windows and every code enabled, and so
// are device identification objects that deviceId leaves out (or all of them without one). Runs
// may overlap; a later run's values win. A document without inputRegisters or discreteInputs (as
// programs that served only coils and holding registers wrote them) leaves those tables zero.
// A register run may give typed values (typed_run.h); the state is saved as plain registers.
//
// "generators": ["registers 0 uint16 counter period=100ms", ...] lists the value generators as
// their texts, in order, and is written only when there are some; loading the document replaces
// the generators in force with these (none when the member is missing).

inline constexpr const char* kStateFormat = "parvane-state";
inline constexpr unsigned kStateVersion = 1;

struct StateDocument {
    ServedSettings settings;
    DeviceIdentification deviceId;
    std::vector<RegisterRun> registers;
    std::vector<CoilRun> coils;
    std::vector<RegisterRun> inputRegisters;
    std::vector<CoilRun> discreteInputs;
    std::vector<std::string> generators;
};

// The state as it is now: the settings, and each table as runs of non-zero cells (a zero cell ends
// a run, so a fresh server gives empty lists). Each table is copied in one hold of its lock.
JsonDocument BuildStateDocument();

// Checks the whole document and fills *state; false with *problem naming the member and the rule,
// e.g. "registers[2].values[7]: 70000 is not in 0..65535".
bool ParseStateDocument(const JsonDocument& document, StateDocument* state, std::string* problem);

// Makes the state the document's: each table becomes its runs over zeros, written in one hold of
// its lock, then the settings and the device identification are applied.
void ApplyStateDocument(const StateDocument& state);

// The document as a state file holds it: one member a line, one run a line, for people to read,
// edit and compare.
std::string StateDocumentText(const JsonDocument& document);
