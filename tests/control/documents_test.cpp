// The control interface's documents (value runs, config, state) as their callers use them: parse the
// text, check it whole, then apply it. A refused document names the member and the rule and leaves
// every cell and setting as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "control/config_document.h"
#include "control/device_id_document.h"
#include "control/json_rules.h"
#include "control/state_document.h"
#include "control/state_file.h"
#include "control/typed_run.h"
#include "control/value_run.h"
#include "modbus/function_codes.h"
#include "parvane_version.h"
#include "server/served_settings.h"
#include "support/core_state.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

namespace {

// Ordered: documents compare equal only with their members in the same order.
using json = JsonDocument;

enum class Kind { kRegisterRun, kCoilRun, kConfig, kDeviceId, kStateFile, kMissingFile };

// What a caller of each kind does with a document's text: a state goes through a file.
bool ParseAndApply(Kind kind, const std::string& text, const std::string& file, std::string* problem)
{
    if (kind == Kind::kStateFile || kind == Kind::kMissingFile) {
        if (kind == Kind::kStateFile) {
            std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        }
        return LoadStateFile(file, problem);
    }
    json document;
    if (!ParseJsonText(text, &document, problem)) {
        return false;
    }
    RegisterRun registers;
    CoilRun coils;
    ServedSettings settings{};
    DeviceIdentification identification{};
    switch (kind) {
    case Kind::kRegisterRun:
        return ParseRegisterRun(document, "", &registers, problem) &&
               (PokeRegisters(registers.start, static_cast<uint32_t>(registers.values.size()), registers.values.data()), true);
    case Kind::kCoilRun:
        return ParseCoilRun(document, "", &coils, problem) &&
               (PokeCoils(coils.start, static_cast<uint32_t>(coils.values.size()), coils.values.data()), true);
    case Kind::kDeviceId:
        return ParseDeviceIdDocument(document, "", ReadDeviceIdentification(), &identification, problem) &&
               (ApplyDeviceIdentification(identification), true);
    default:
        return ParseConfigDocument(document, "", ReadServedSettings(), &settings, problem) &&
               (ApplyServedSettings(settings), true);
    }
}

// The state every case starts from: a few values in each table, a narrowed coil window, code 6
// switched off.
#define DEFAULT_DEVICE_ID                                                                                    \
    R"({"VendorName": "Parvane", "ProductCode": "parvane", "MajorMinorRevision": ")" PARVANE_VERSION            \
    R"(", "VendorUrl": "", "ProductName": "Parvane", "ModelName": "Modbus/TCP test server"})"
const char* const kStartingState = R"({"format": "parvane-state", "version": 1,
    "config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
    "deviceId": )" DEFAULT_DEVICE_ID R"(,
    "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})";

class DocumentsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetServedData();
        folder = std::filesystem::temp_directory_path() / ("parvane-documents-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        file = (folder / "state.json").string();
        const uint16_t registers[] = {4660, 22136};
        PokeRegisters(100, 2, registers);
        const uint8_t coil = 1;
        PokeCoils(0, 1, &coil);
        const uint16_t inputRegister = 3;
        PokeInputRegisters(7, 1, &inputRegister);
        PokeDiscreteInputs(2, 1, &coil);
        SetCoilWindow(0, 9);
        SetFunctionEnabled(kFunctionWriteSingleRegister, false);
        ASSERT_EQ(BuildStateDocument(), json::parse(kStartingState));
    }

    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        ResetServedData();
    }

    std::filesystem::path folder;
    std::string file;
};

TEST_F(DocumentsTest, RefusedDocumentsNameTheMemberAndTheRuleAndChangeNothing)
{
    const struct {
        Kind kind;
        std::string text;
        const char* message;
    } cases[] = {
        // Runs: shape, start, count, each value. A syntax error is placed where the parser stopped: the
        // end of the token it could not take.
        {Kind::kRegisterRun, R"({"start": 0, "values": [1, 2, 3, 70000]})", "values[3]: 70000 is not in 0..65535"},
        {Kind::kRegisterRun, R"({"start": 0, "values": [-1]})", "values[0]: -1 is not in 0..65535"},
        {Kind::kRegisterRun, R"({"start": 0, "values": [1.5]})", "values[0]: 1.5 is not a whole number from 0 to 65535"},
        {Kind::kRegisterRun, R"({"start": 0, "values": ["12"]})", R"(values[0]: "12" is not a whole number from 0 to 65535)"},
        {Kind::kRegisterRun, R"({"start": 65530, "values": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]})",
         "the run from 65530 with 10 values passes address 65535"},
        {Kind::kRegisterRun, R"({"start": 65536, "values": [1]})", "start: must be a whole number from 0 to 65535"},
        {Kind::kRegisterRun, R"({"start": "0", "values": [1]})", "start: must be a whole number from 0 to 65535"},
        {Kind::kRegisterRun, R"({"start": 0, "valuse": [1]})", "unknown member 'valuse'"},
        {Kind::kRegisterRun, R"({"values": [1]})", "missing member 'start'"},
        {Kind::kRegisterRun, R"({"start": 0, "values": []})", "values: must hold at least one value"},
        {Kind::kRegisterRun, R"({"start": 0, "values": 5})", "values: expected a list of values"},
        {Kind::kRegisterRun, "[1, 2]", R"(expected an object such as {"start": 0, "values": [...]})"},
        {Kind::kRegisterRun, R"({"start": 0 "values": [1]})", "not JSON (syntax error at byte 20)"},
        {Kind::kCoilRun, R"({"start": 0, "values": [1, 0, true, 2]})", "values[3]: 2 is not one of 0, 1, true, false"},
        {Kind::kCoilRun, R"({"start": 0, "values": [null]})", "values[0]: null is not one of 0, 1, true, false"},
        // Config: the rules of the Configure Data Areas dialog, and nothing applied before all pass.
        {Kind::kConfig, R"({"registers": {"start": 0, "size": 0}})", "registers.size: must be at least 1"},
        {Kind::kConfig, R"({"coils": {"start": 65535, "size": 2}})", "coils: start + size must be at most 65536, got 65535 + 2"},
        {Kind::kConfig, R"({"coils": {"start": 70000, "size": 1}})", "coils: start + size must be at most 65536, got 70000 + 1"},
        {Kind::kConfig, R"({"registers": {"start": 10}})", "registers: missing member 'size'"},
        {Kind::kConfig, R"({"registers": {"start": 0, "size": -5}})", "registers.size: must be a whole number from 1 to 65536"},
        {Kind::kConfig, R"({"disabledFunctions": [5, 7], "standardLimits": false})",
         "disabledFunctions[1]: 7 is not one of the function codes 1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43"},
        {Kind::kConfig, R"({"inputRegisters": {"start": 0, "size": 0}})", "inputRegisters.size: must be at least 1"},
        {Kind::kConfig, R"({"discreteInputs": {"start": 65535, "size": 2}})",
         "discreteInputs: start + size must be at most 65536, got 65535 + 2"},
        {Kind::kConfig, R"({"disabledFunctions": 5})", "disabledFunctions: expected a list of function codes such as [5, 6]"},
        {Kind::kConfig, R"({"registers": {"start": 0, "size": 10}, "disabled": [5]})", "unknown member 'disabled'"},
        {Kind::kConfig, R"({"registers": {"start": 0, "size": 10}, "coils": {"start": 0, "size": 0}})",
         "coils.size: must be at least 1"},
        {Kind::kConfig, R"({"standardLimits": 1})", "standardLimits: must be true or false, got 1"},
        {Kind::kDeviceId, R"({"VendorName": "X", "Vendor": "Y"})", "unknown member 'Vendor'"},
        {Kind::kDeviceId, R"({"ModelName": 5})", "ModelName: must be a string, got 5"},
        {Kind::kDeviceId, R"({"VendorName": "Caf\u00e9"})",
         "VendorName: must be printable ASCII (0x20 to 0x7E), got byte 195 at 3"},
        {Kind::kDeviceId, R"({"VendorName": "X", "ProductName": ")" + std::string(245, 'p') + R"("})",
         "ProductName: must be at most 244 characters, got 245"},
        // Served units: the command line's list or null, and the answer for the others by name.
        {Kind::kConfig, R"({"unitIds": "5-2"})", "unitIds: '5-2' is not a range: it must run upwards, such as 2-5"},
        {Kind::kConfig, R"({"unitIds": "1,256"})",
         "unitIds: '256' is not a unit identifier from 0 to 255 or a range of them such as 10-20"},
        {Kind::kConfig, R"({"unitIds": "1,,3"})",
         "unitIds: '' is not a unit identifier from 0 to 255 or a range of them such as 10-20"},
        {Kind::kConfig, R"({"unitIds": ""})", "unitIds: expected unit identifiers and ranges such as 1,2,10-20, got nothing"},
        {Kind::kConfig, R"({"unitIds": 7})", R"(unitIds: expected a list such as "1,2,10-20", or null for every unit, got 7)"},
        {Kind::kConfig, R"({"unitIds": "1", "unknownUnit": "drop"})",
         R"(unknownUnit: must be "none" or "exception", got "drop")"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "config": {"unitIds": "x"}})",
         "config.unitIds: 'x' is not a unit identifier from 0 to 255 or a range of them such as 10-20"},
        // State files: the file named, format and version, then runs and config with their paths.
        {Kind::kStateFile, R"({"version": 1})", R"(missing member 'format' (a state document has "format": "parvane-state"))"},
        {Kind::kStateFile, R"({"format": "parvane-state"})", "missing member 'version'"},
        {Kind::kStateFile, R"({"format": "other", "version": 1})", R"(format: must be "parvane-state", got "other")"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 2})",
         "version: 2 is not a version this program reads (it reads 1)"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "extra": 1})", "unknown member 'extra'"},
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1, "registers": [{"start": 0, "values": [1]}, {"start": 5, "values": [1]},
             {"start": 9, "values": [0, 0, 0, 0, 0, 0, 0, 70000]}]})",
         "registers[2].values[7]: 70000 is not in 0..65535"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "coils": [{"start": 0, "values": [1]}, {"start": 1}]})",
         "coils[1]: missing member 'values'"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "inputRegisters": [{"start": 0, "values": [70000]}]})",
         "inputRegisters[0].values[0]: 70000 is not in 0..65535"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "discreteInputs": [{"start": 0, "values": [2]}]})",
         "discreteInputs[0].values[0]: 2 is not one of 0, 1, true, false"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "coils": {"start": 0}})",
         R"(coils: expected a list of runs such as [{"start": 0, "values": [...]}])"},
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1, "registers": [{"start": 0, "values": [1]}],
             "config": {"registers": {"start": 0, "size": 0}}})",
         "config.registers.size: must be at least 1"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "deviceId": {"VendorUrl": "\t"}})",
         "deviceId.VendorUrl: must be printable ASCII (0x20 to 0x7E), got byte 9 at 0"},
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1, "generators": ["registers 0 uint16 counter", "coils 0 uint16 counter"]})",
         "generators[1]: cannot read 'uint16': coils and discrete inputs take the type bool"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "generators": [5]})",
         "generators[0]: expected a string"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "generators": "coils 0 bool random"})",
         R"(generators: expected a list of at most 1024 texts such as ["registers 0 uint16 counter"])"},
        {Kind::kStateFile, "", "not JSON (syntax error at byte 1)"},
        {Kind::kStateFile, R"({"format": "parvane-state",)", "not JSON (syntax error at byte 28)"},
        {Kind::kMissingFile, "", "No such file or directory"},
    };
    const json before = BuildStateDocument();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        const std::string path = c.kind == Kind::kMissingFile ? (folder / "absent.json").string() : file;
        std::string problem;
        EXPECT_FALSE(ParseAndApply(c.kind, c.text, path, &problem));
        const bool throughFile = c.kind == Kind::kStateFile || c.kind == Kind::kMissingFile;
        EXPECT_EQ(problem, (throughFile ? path + ": " : std::string()) + c.message);
        EXPECT_EQ(BuildStateDocument(), before);
    }
}

TEST_F(DocumentsTest, AcceptedDocumentsChangeWhatTheyNameAndLeaveTheRest)
{
    const char* const kDefaultConfig = R"({"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 65536}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [], "standardLimits": false, "unitIds": null, "unknownUnit": "none"})";
    const struct {
        Kind kind;
        std::string text;
        std::string stateAfter;   // the state document then, but for "format" and "version"
    } cases[] = {
        {Kind::kRegisterRun, R"({"start": 65534, "values": [1, 65535]})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}, {"start": 65534, "values": [1, 65535]}],
             "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kCoilRun, R"({"start": 1, "values": [true, false, 1]})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}],
             "coils": [{"start": 0, "values": [1, 1]}, {"start": 3, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        // A partial config: the members left out keep their values.
        {Kind::kConfig, R"({"registers": {"start": 65535, "size": 1}})",
         R"({"config": {"registers": {"start": 65535, "size": 1}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kConfig, R"({"disabledFunctions": [23, 1, 23], "standardLimits": false, "unitIds": null, "unknownUnit": "none"})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [1, 23], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kConfig, R"({"disabledFunctions": [4, 2], "discreteInputs": {"start": 100, "size": 1}})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 100, "size": 1}, "disabledFunctions": [2, 4], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kConfig, R"({"standardLimits": true, "unitIds": null, "unknownUnit": "none"})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": true, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kDeviceId, R"({"ModelName": "M-1", "VendorName": ""})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "deviceId": {"VendorName": "", "ProductCode": "parvane", "MajorMinorRevision": ")" PARVANE_VERSION R"(",
                          "VendorUrl": "", "ProductName": "Parvane", "ModelName": "M-1"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        // Served units: the list comes back in its shortest form, and every unit as null.
        {Kind::kConfig, R"({"unitIds": "10-20,3,1-2,0", "unknownUnit": "exception"})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6],
                        "standardLimits": false, "unitIds": "0-3,10-20", "unknownUnit": "exception"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kConfig, R"({"unitIds": "0-254,255"})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 10}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [6],
                        "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "registers": [{"start": 100, "values": [4660, 22136]}], "coils": [{"start": 0, "values": [1]}], "inputRegisters": [{"start": 7, "values": [3]}], "discreteInputs": [{"start": 2, "values": [1]}]})"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "config": {"unitIds": "255,0"}})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 65536}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [],
                        "standardLimits": false, "unitIds": "0,255", "unknownUnit": "none"}, "registers": [], "coils": [], "inputRegisters": [], "discreteInputs": []})"},
        // A state is the whole state: what it leaves out is as a fresh launch has it, so a file
        // written before the server had input registers and discrete inputs leaves them zero.
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1})",
         std::string(R"({"config": )") + kDefaultConfig + R"(, "registers": [], "coils": [], "inputRegisters": [], "discreteInputs": []})"},
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1, "config": {"disabledFunctions": [5], "standardLimits": true},
             "deviceId": {"ProductCode": "X-9"},
             "registers": [{"start": 5, "values": [7, 8]}, {"start": 6, "values": [0, 9]}]})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 65536}, "inputRegisters": {"start": 0, "size": 65536}, "discreteInputs": {"start": 0, "size": 65536}, "disabledFunctions": [5], "standardLimits": true, "unitIds": null, "unknownUnit": "none"},
             "deviceId": {"VendorName": "Parvane", "ProductCode": "X-9", "MajorMinorRevision": ")" PARVANE_VERSION R"(",
                          "VendorUrl": "", "ProductName": "Parvane", "ModelName": "Modbus/TCP test server"},
             "registers": [{"start": 5, "values": [7]}, {"start": 7, "values": [9]}], "coils": [], "inputRegisters": [], "discreteInputs": []})"},
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1,
             "config": {"inputRegisters": {"start": 65535, "size": 1}, "discreteInputs": {"start": 0, "size": 3}},
             "inputRegisters": [{"start": 65534, "values": [0, 65535]}], "discreteInputs": [{"start": 0, "values": [true, false, 1]}]})",
         R"({"config": {"registers": {"start": 0, "size": 65536}, "coils": {"start": 0, "size": 65536}, "inputRegisters": {"start": 65535, "size": 1}, "discreteInputs": {"start": 0, "size": 3}, "disabledFunctions": [], "standardLimits": false, "unitIds": null, "unknownUnit": "none"},
             "deviceId": )" DEFAULT_DEVICE_ID R"(,
             "registers": [], "coils": [], "inputRegisters": [{"start": 65535, "values": [65535]}], "discreteInputs": [{"start": 0, "values": [1]}, {"start": 2, "values": [1]}]})"},
        // Generators as their texts, in order, replacing those in force.
        {Kind::kStateFile,
         R"({"format": "parvane-state", "version": 1,
             "generators": ["registers 0  uint16 counter period=10ms", "coils 5 bool square"]})",
         std::string(R"({"config": )") + kDefaultConfig + R"(, "registers": [], "coils": [], "inputRegisters": [], "discreteInputs": [],
             "generators": ["registers 0 uint16 counter period=10ms", "coils 5 bool square"]})"},
        {Kind::kStateFile, R"({"format": "parvane-state", "version": 1, "generators": ["coils 1 bool random"]})",
         std::string(R"({"config": )") + kDefaultConfig + R"(, "registers": [], "coils": [], "inputRegisters": [], "discreteInputs": [],
             "generators": ["coils 1 bool random"]})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SetUp();
        std::string problem;
        EXPECT_TRUE(ParseAndApply(c.kind, c.text, file, &problem)) << problem;
        // The device identification is the starting state's unless the case names it.
        const json after = json::parse(c.stateAfter);
        json expected = {{"format", "parvane-state"},
                               {"version", 1},
                               {"config", after["config"]},
                               {"deviceId", after.contains("deviceId") ? after["deviceId"] : json::parse(DEFAULT_DEVICE_ID)},
                               {"registers", after["registers"]},
                               {"coils", after["coils"]},
                               {"inputRegisters", after["inputRegisters"]},
                               {"discreteInputs", after["discreteInputs"]}};
        if (after.contains("generators")) {
            expected["generators"] = after["generators"];
        }
        EXPECT_EQ(BuildStateDocument(), expected);
    }
}

// Register images as a typed GET answers them: floats JSON cannot write (NaN, the infinities) as
// null, a float32 by its shortest text, ASCII with its NULs as they stand.
TEST(TypedRunTest, RegistersReadAsValuesThatJsonCanWrite)
{
    const struct {
        ValueType type;
        ValueOrder order;
        std::vector<uint16_t> registers;
        size_t count;
        std::string values;
    } cases[] = {
        {ValueType::kFloat32, ValueOrder::kAbcd, {0x7FC0, 0x0000, 0xFF80, 0x0000, 0x4048, 0xF5C3}, 3, "[null,null,3.14]"},
        {ValueType::kFloat32, ValueOrder::kCdab, {0xF5C3, 0x4048}, 1, "[3.14]"},
        {ValueType::kFloat64, ValueOrder::kDcba, {0x0000, 0x0000, 0x0000, 0xF07F, 0, 0, 0, 0xF0BF}, 2, "[null,-1.0]"},
        {ValueType::kInt16, ValueOrder::kBadc, {0xFFFF, 0x0080}, 2, "[-1,-32768]"},
        {ValueType::kAscii, ValueOrder::kAbcd, {0x4142, 0x4300}, 4, "\"ABC\\u0000\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values);
        EXPECT_EQ(TypedValuesDocument(c.type, c.order, c.registers.data(), c.count).dump(), c.values);
    }
}

}  // namespace
