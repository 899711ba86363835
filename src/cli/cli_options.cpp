#include "cli_options.h"

#include <cstdint>

#include "capture/capture_file.h"
#include "modbus/function_codes.h"
#include "platform/socket.h"
#include "platform/stop_signals.h"
#include "server/listen_options.h"
#include "server/unit_list.h"
#include "tables/address_window.h"

namespace {

// START:SIZE, checked by the same rule as the Configure Data Areas dialog.
bool ParseWindow(const std::string& text, AddressWindow* window, std::string* problem)
{
    size_t colon = text.find(':');
    uint32_t start = 0;
    uint32_t size = 0;
    if (colon == std::string::npos || !ParseDecimalNumber(text.substr(0, colon), UINT32_MAX, &start) ||
        !ParseDecimalNumber(text.substr(colon + 1), UINT32_MAX, &size)) {
        *problem = "expected START:SIZE with decimal numbers, got '" + text + "'";
        return false;
    }
    switch (CheckWindowRange(start, size)) {
    case WindowRange::kSizeZero:
        *problem = "the size must be at least 1";
        return false;
    case WindowRange::kPastTableEnd:
        *problem = "start + size must be at most " + std::to_string(kTableSize) + ", got " + std::to_string(start) +
                   " + " + std::to_string(size);
        return false;
    case WindowRange::kFits:
        break;
    }
    *window = WindowOfRange(start, size);
    return true;
}

bool ParseDisabledCodes(const std::string& text, bool* disabled, std::string* problem)
{
    size_t begin = 0;
    for (;;) {
        size_t comma = text.find(',', begin);
        std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        uint32_t code = 0;
        if (!ParseDecimalNumber(item, UINT8_MAX, &code) || !IsServedFunctionCode(code)) {
            *problem = "'" + item + "' is not one of the function codes " + ServedFunctionCodesText(", ");
            return false;
        }
        disabled[code] = true;
        if (comma == std::string::npos) {
            return true;
        }
        begin = comma + 1;
    }
}

// NAME=VALUE: one device identification object by its name, its value printable ASCII.
bool ParseDeviceIdObject(const std::string& text, DeviceIdentification* identification, std::string* problem)
{
    const size_t equals = text.find('=');
    const int objectId = equals == std::string::npos ? -1 : DeviceIdObjectOfName(text.data(), equals);
    if (objectId < 0) {
        std::string names;
        for (const char* name : kDeviceIdObjectNames) {
            names += (names.empty() ? "" : ", ") + std::string(name);
        }
        *problem = "expected NAME=VALUE with NAME one of " + names + ", got '" + text + "'";
        return false;
    }
    const std::string value = text.substr(equals + 1);
    if (!IsDeviceIdValue(value.data(), value.size())) {
        *problem = std::string(kDeviceIdObjectNames[objectId]) + ": " + DeviceIdValueProblem(value.data(), value.size());
        return false;
    }
    SetDeviceIdObject(identification, objectId, value.data(), value.size());
    return true;
}

// The window a table's option sets, or null for any other option.
AddressWindow* WindowOfOption(const std::string& option, ServedSettings* served)
{
    if (option == "--registers") {
        return &served->registerWindow;
    }
    if (option == "--coils") {
        return &served->coilWindow;
    }
    if (option == "--discrete-inputs") {
        return &served->discreteInputWindow;
    }
    if (option == "--input-registers") {
        return &served->inputRegisterWindow;
    }
    return nullptr;
}

}  // namespace

const char* CliUsage()
{
    static const std::string usage =
        "Usage: parvane-cli [options]\n"
        "Runs the Parvane Modbus/TCP test server without a window; log lines go to standard output.\n"
        "\n"
        "  --port N                TCP port to listen on, 0 to 65535 (default 502; 0: any free port,\n"
        "                          the \"Listening on\" line tells which)\n"
        "  --bind ADDRESS          local IPv4 or IPv6 address to listen on (default 0.0.0.0, all IPv4;\n"
        "                          :: for all, IPv4 too where the system allows; ::1 for loopback)\n"
        "  --registers START:SIZE  holding registers that requests may use (default 0:65536)\n"
        "  --coils START:SIZE      coils that requests may use (default 0:65536)\n"
        "  --discrete-inputs START:SIZE\n"
        "                          discrete inputs that requests may read (default 0:65536)\n"
        "  --input-registers START:SIZE\n"
        "                          input registers that requests may read (default 0:65536)\n"
        "  --disable CODES         switch off function codes, comma-separated (" +
        ServedFunctionCodesText(",") +
        ")\n"
        "  --standard-limits       the Modbus application protocol's write limits (15: 1968 coils,\n"
        "                          16: 123 and 23: 121 registers; default 800, 100, 100) and its code 23\n"
        "                          order, write then read (default: read then write)\n"
        "  --device-id NAME=VALUE  set a Read Device Identification (code 43) object: VendorName,\n"
        "                          ProductCode, MajorMinorRevision, VendorUrl, ProductName or ModelName;\n"
        "                          at most 244 printable ASCII characters; repeatable\n"
        "  --unit-ids LIST         answer only these unit identifiers, e.g. 1,2,10-20 (0 to 255;\n"
        "                          default: every unit)\n"
        "  --unknown-unit ANSWER   what a request for another unit gets: none (no response, as from a\n"
        "                          gateway without such a device; the default) or exception (code 11)\n"
        "  --trace                 also print each transaction's request and response in hex\n" +
        std::string(CaptureAvailable()
                        ? "  --capture FILE          write every connection's traffic into FILE as a pcap capture that\n"
                          "                          Wireshark reads (tshark -d tcp.port==PORT,mbtcp), flushed after every\n"
                          "                          response\n"
                        : "  --capture FILE          not available in this build (made without libpcap): refused\n") +
        std::string(ControlOptionsUsage()) + FaultOptionsUsage() + GeneratorOptionsUsage() +
        "  --help                  show this text\n"
        "  --version               show the version\n"
        "\n"
        "Stops in order on " + StopRequestNames() + " and exits 0.\n"
        "Exits 1 when the server cannot start or stops abnormally (with --http only such a stop request\n"
        "ends the run), 2 on a bad option." +
        std::string(LowPortsNeedPrivilege() ? " Ports below 1024 need root or the capability\nCAP_NET_BIND_SERVICE."
                                            : "") +
        "\nLog lines that standard output does not take in time are dropped and counted; the server\n"
        "never waits for its reader.\n";
    return usage.c_str();
}

CliCommand ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* problem)
{
    bool servedSettingsGiven = false;   // a window option, --disable, --standard-limits, --unit-ids or --unknown-unit
    bool deviceIdGiven = false;
    for (int index = 1; index < argc; ++index) {
        std::string option = argv[index];
        if (option == "--help" || option == "-h") {
            return CliCommand::kHelp;
        }
        if (option == "--version") {
            return CliCommand::kVersion;
        }
        if (option == "--trace") {
            options->trace = true;
            continue;
        }
        if (option == "--standard-limits") {
            servedSettingsGiven = true;
            options->served.standardLimits = true;
            continue;
        }
        bool takesValue = option == "--port" || option == "--bind" || option == "--registers" ||
                          option == "--coils" || option == "--disable" || option == "--device-id" ||
                          option == "--discrete-inputs" || option == "--input-registers" || option == "--unit-ids" ||
                          option == "--unknown-unit" || option == "--capture" || IsControlOption(option) ||
                          IsFaultOption(option) || IsGeneratorOption(option);
        if (!takesValue) {
            *problem = "unknown option '" + option + "'";
            return CliCommand::kBadOption;
        }
        if (index + 1 >= argc) {
            *problem = "option " + option + " needs a value";
            return CliCommand::kBadOption;
        }
        std::string value = argv[++index];
        if (IsControlOption(option)) {
            if (!ParseControlOption(option, value, &options->control, problem)) {
                return CliCommand::kBadOption;
            }
        } else if (option == "--capture") {
            if (value.empty()) {
                *problem = "--capture needs a file name";
                return CliCommand::kBadOption;
            }
            options->captureFile = value;
        } else if (IsFaultOption(option)) {
            if (!ParseFaultOption(option, value, &options->faults, problem)) {
                return CliCommand::kBadOption;
            }
        } else if (IsGeneratorOption(option)) {
            if (!ParseGeneratorOption(value, &options->generators, problem)) {
                return CliCommand::kBadOption;
            }
        } else if (option == "--port") {
            if (!ParseListenPort(value, &options->port)) {
                *problem = "--port needs a number from 0 to 65535, got '" + value + "'";
                return CliCommand::kBadOption;
            }
        } else if (option == "--bind") {
            if (!IsBindAddress(value)) {
                *problem = "--bind needs an IPv4 address such as 127.0.0.1 or an IPv6 one such as ::1, got '" + value + "'";
                return CliCommand::kBadOption;
            }
            options->bindAddress = value;
        } else if (option == "--device-id") {
            deviceIdGiven = true;
            std::string why;
            if (!ParseDeviceIdObject(value, &options->deviceId, &why)) {
                *problem = "--device-id: " + why;
                return CliCommand::kBadOption;
            }
        } else if (AddressWindow* window = WindowOfOption(option, &options->served)) {
            servedSettingsGiven = true;
            std::string why;
            if (!ParseWindow(value, window, &why)) {
                *problem = option + ": " + why;
                return CliCommand::kBadOption;
            }
        } else if (option == "--unit-ids") {
            servedSettingsGiven = true;
            std::string why;
            if (!ParseUnitList(value, options->served.unitUnserved, &why)) {
                *problem = "--unit-ids: " + why;
                return CliCommand::kBadOption;
            }
        } else if (option == "--unknown-unit") {
            servedSettingsGiven = true;
            if (!ParseUnknownUnitAnswer(value, &options->served.unknownUnit)) {
                *problem = "--unknown-unit needs none or exception, got '" + value + "'";
                return CliCommand::kBadOption;
            }
        } else {
            servedSettingsGiven = true;
            std::string why;
            if (!ParseDisabledCodes(value, options->served.disabled, &why)) {
                *problem = "--disable: " + why;
                return CliCommand::kBadOption;
            }
        }
    }
    // A state file sets the windows and the codes itself (its config, or the defaults when it has
    // none), so options that set them too could only be silently overridden or override the file.
    if (servedSettingsGiven && !options->control.loadFile.empty()) {
        *problem = "--load takes the address ranges, function codes and units from its file: leave out "
                   "--registers, --coils, --discrete-inputs, --input-registers, --disable, --unit-ids and "
                   "--unknown-unit, or set them in the file's config";
        if (options->served.standardLimits) {
            *problem = "--load takes the limits from its file: leave out --standard-limits, or set "
                       "\"standardLimits\": true in the file's config";
        }
        return CliCommand::kBadOption;
    }
    // Likewise the device identification: the file's deviceId, or the defaults when it has none.
    if (deviceIdGiven && !options->control.loadFile.empty()) {
        *problem = "--load takes the device identification from its file: leave out --device-id, or set it in "
                   "the file's deviceId";
        return CliCommand::kBadOption;
    }
    if (!CheckControlOptions(options->control, problem)) {
        return CliCommand::kBadOption;
    }
    return CliCommand::kRun;
}
