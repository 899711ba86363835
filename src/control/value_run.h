#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "control/json_rules.h"

// A run of cells as the control interface's documents write it, {"start": S, "values": [...]}: the
// values of the cells from address S on, at least one, none past address 65,535. Register values
// are whole numbers 0..65535; coil values are 0, 1, true or false. Input registers take register
// runs and discrete inputs coil runs.

struct RegisterRun {
    uint16_t start = 0;
    std::vector<uint16_t> values;
};

struct CoilRun {
    uint16_t start = 0;
    std::vector<uint8_t> values;   // 0 or 1
};

// Checks the whole run and fills *run; false with *problem naming the member and the rule, e.g.
// "values[3]: 70000 is not in 0..65535". `path` names the run within a larger document
// ("registers[2]" gives "registers[2].values[3]: ..."); empty for a run of its own.
bool ParseRegisterRun(const JsonDocument& document, const std::string& path, RegisterRun* run, std::string* problem);
bool ParseCoilRun(const JsonDocument& document, const std::string& path, CoilRun* run, std::string* problem);

// The members a run's object may have, `start` and `values` present, and `start` read as an
// address; false with *problem naming the member and the rule. The object's shape is the caller's.
bool ReadRunStart(const JsonDocument& document, const std::string& path, std::initializer_list<const char*> allowed,
                  uint64_t* start, std::string* problem);

// {"start": S, "values": [...]} of a run.
JsonDocument RegisterRunDocument(const RegisterRun& run);
JsonDocument CoilRunDocument(const CoilRun& run);
