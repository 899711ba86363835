#pragma once

#include <cstdint>
#include <string>

#include "control/control_options.h"
#include "faults/fault_options.h"
#include "generators/generator_options.h"
#include "modbus/device_identification.h"
#include "server/served_settings.h"
#include "server/server_control.h"

// What the command line asks for. The defaults give the server exactly as the console runs it.
struct CliOptions {
    uint16_t port = kDefaultModbusPort;
    std::string bindAddress = kDefaultBindAddress;
    ServedSettings served = DefaultServedSettings();   // the window options, --disable, --standard-limits,
                                                       // --unit-ids, --unknown-unit
    DeviceIdentification deviceId = DefaultDeviceIdentification();   // --device-id
    bool trace = false;
    std::string captureFile;   // --capture; empty: no capture
    ControlOptions control;
    FaultOptions faults;   // --fault, --fault-seed
    GeneratorOptions generators;   // --generate
};

enum class CliCommand { kRun, kHelp, kVersion, kBadOption };

// Parses argv; on kBadOption `problem` names what is wrong in one line.
CliCommand ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* problem);

// The usage text, ending in a newline.
const char* CliUsage();
