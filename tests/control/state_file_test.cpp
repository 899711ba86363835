// State files through the real program: parvane-cli --save after a stop by signal, the file's text,
// --load into a new server that a Modbus client then reads; a refused file before listening; and the
// atomic write's promise that a failed save leaves the old file and no temporary file behind.
#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "control/state_file.h"
#include "parvane_version.h"
#include "support/cli_program.h"
#include "support/child_process.h"
#include "support/core_state.h"
#include "tables/register_table.h"

namespace {

namespace fs = std::filesystem;

constexpr Milliseconds kBound{10000};

std::string FileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// parvane-cli on a port of the system's choosing, on loopback.
class RunningCli {
public:
    explicit RunningCli(std::vector<std::string> options)
    {
        options.insert(options.end(), {"--port", "0", "--bind", "127.0.0.1"});
        child.Start(CliProgram(), CliArguments(options));
        if (std::optional<std::string> line = child.WaitForLine("Listening on ", kBound)) {
            std::smatch match;
            if (std::regex_search(*line, match, std::regex(R"(Listening on 127\.0\.0\.1:(\d+)$)"))) {
                port = std::stoi(match[1].str());
            }
        }
        if (port != 0) {
            modbus = modbus_new_tcp("127.0.0.1", port);
            if (modbus != nullptr && modbus_connect(modbus) != 0) {
                modbus_free(modbus);
                modbus = nullptr;
            }
        }
    }
    ~RunningCli()
    {
        if (modbus != nullptr) {
            modbus_close(modbus);
            modbus_free(modbus);
        }
    }
    // Stops it as a service manager would; its exit status.
    int Stop()
    {
        child.Signal(CliStopSignal());
        child.ReadToEnd(kBound);
        return child.WaitForExit(kBound);
    }

    ChildProcess child;
    int port = 0;
    modbus_t* modbus = nullptr;
};

class StateFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("parvane-state-files-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        file = folder / "state.json";
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    fs::path file;
};
// The tests that run the program, against either build (scripts/test-windows.sh).
using StateFileProcessTest = StateFileTest;

TEST_F(StateFileProcessTest, SavedOnStopAndLoadedIntoANewServer)
{
    {
        RunningCli first({"--registers", "100:50", "--coils", "0:10", "--disable", "6,2", "--input-registers", "5:10",
                          "--standard-limits", "--device-id", "VendorName=Acme Corp", "--device-id", "ModelName=",
                          "--save", file.string()});
        ASSERT_NE(first.modbus, nullptr);
        const uint16_t registers[] = {4660, 22136};
        ASSERT_EQ(modbus_write_registers(first.modbus, 100, 2, registers), 2);
        const uint8_t coils[] = {1, 0, 1};
        ASSERT_EQ(modbus_write_bits(first.modbus, 0, 3, coils), 3);
        EXPECT_FALSE(fs::exists(file));   // written at the stop, not before
        EXPECT_EQ(first.Stop(), 0);
    }
    EXPECT_EQ(FileText(file), "{\n"
                              "  \"format\": \"parvane-state\",\n"
                              "  \"version\": 1,\n"
                              "  \"config\": {\"registers\":{\"start\":100,\"size\":50},\"coils\":{\"start\":0,"
                              "\"size\":10},\"inputRegisters\":{\"start\":5,\"size\":10},\"discreteInputs\":{\"start\":0,"
                              "\"size\":65536},\"disabledFunctions\":[2,6],\"standardLimits\":true,\"unitIds\":null,\"unknownUnit\":\"none\"},\n"
                              "  \"deviceId\": {\"VendorName\":\"Acme Corp\",\"ProductCode\":\"parvane\","
                              "\"MajorMinorRevision\":\"" PARVANE_VERSION "\",\"VendorUrl\":\"\",\"ProductName\":\"Parvane\","
                              "\"ModelName\":\"\"},\n"
                              "  \"registers\": [\n"
                              "    {\"start\":100,\"values\":[4660,22136]}\n"
                              "  ],\n"
                              "  \"coils\": [\n"
                              "    {\"start\":0,\"values\":[1]},\n"
                              "    {\"start\":2,\"values\":[1]}\n"
                              "  ],\n"
                              "  \"inputRegisters\": [],\n"
                              "  \"discreteInputs\": []\n"
                              "}\n");
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"state.json"});

    RunningCli second({"--load", file.string()});
    ASSERT_NE(second.modbus, nullptr);
    uint16_t registers[3] = {};
    EXPECT_EQ(modbus_read_registers(second.modbus, 100, 3, registers), 3);
    EXPECT_EQ(std::vector<uint16_t>(registers, registers + 3), (std::vector<uint16_t>{4660, 22136, 0}));
    uint8_t coils[10] = {};
    EXPECT_EQ(modbus_read_bits(second.modbus, 0, 10, coils), 10);
    EXPECT_EQ(std::vector<uint8_t>(coils, coils + 3), (std::vector<uint8_t>{1, 0, 1}));
    // The windows and the disabled code came along.
    EXPECT_EQ(modbus_read_registers(second.modbus, 99, 1, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_read_bits(second.modbus, 10, 1, coils), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(second.modbus, 100, 1), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(modbus_read_input_registers(second.modbus, 14, 2, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_read_input_bits(second.modbus, 0, 1, coils), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(modbus_write_registers(second.modbus, 149, 1, registers), 1);
    // So did the standard limits: 123 registers in one write, 122 beyond the window's end at 149.
    uint16_t many[123] = {};
    EXPECT_EQ(modbus_write_registers(second.modbus, 100, 123, many), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(second.Stop(), 0);
}

TEST_F(StateFileProcessTest, RefusedLoadExitsWithStatus2BeforeListening)
{
    const std::string kLoadConflict =
        "--load takes the address ranges, function codes and units from its file: leave out --registers, --coils, "
        "--discrete-inputs, --input-registers, --disable, --unit-ids and --unknown-unit, or set them in the file's "
        "config";
    std::ofstream(file) << R"({"format": "parvane-state", "version": 1,
        "registers": [{"start": 0, "values": [1]}, {"start": 9, "values": [0, 0, 70000]}]})";
    const struct {
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {{"--load", file.string()}, file.string() + ": registers[1].values[2]: 70000 is not in 0..65535"},
        {{"--load", (folder / "absent.json").string()}, (folder / "absent.json").string() + ": No such file or directory"},
        {{"--load", file.string(), "--disable", "5"}, kLoadConflict},
        {{"--discrete-inputs", "0:10", "--load", file.string()}, kLoadConflict},
        {{"--load", file.string(), "--input-registers", "0:10"}, kLoadConflict},
        {{"--load", file.string(), "--unit-ids", "1"}, kLoadConflict},
        {{"--unknown-unit", "exception", "--load", file.string()}, kLoadConflict},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--port", "0", "--bind", "127.0.0.1"});
        ChildResult result = RunToEnd(CliProgram(), CliArguments(options));
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.output, "");   // not even the start line
        EXPECT_EQ(result.errors.substr(0, result.errors.find('\n') + 1), "parvane-cli: " + c.message + "\n");
    }
}

// The rename is the only step that replaces the file: a save that fails before it or at it leaves
// what was there and removes its temporary file. Failures that root cannot bypass either.
TEST_F(StateFileTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    ResetServedData();
    const uint16_t value = 7;
    PokeRegisters(3, 1, &value);

    // A folder where the file should be: the temporary file is written, the rename refused.
    fs::create_directories(file / "kept");
    std::string problem;
    EXPECT_FALSE(SaveStateFile(file.string(), &problem));
    EXPECT_EQ(problem, file.string() + ": Is a directory");
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"state.json"});
    EXPECT_EQ(FolderEntries(file), std::vector<std::string>{"kept"});

    // A regular file where the folder should be: nothing can be created.
    const fs::path notAFolder = folder / "plain";
    std::ofstream(notAFolder) << "old";
    EXPECT_FALSE(SaveStateFile((notAFolder / "state.json").string(), &problem));
    EXPECT_EQ(problem, (notAFolder / "state.json").string() + ": Not a directory");
    EXPECT_EQ(FileText(notAFolder), "old");

    // A save over an old file replaces it whole and leaves nothing else.
    fs::remove_all(file);
    std::ofstream(file) << "old";
    EXPECT_TRUE(SaveStateFile(file.string(), &problem)) << problem;
    EXPECT_NE(FileText(file).find("{\"start\":3,\"values\":[7]}"), std::string::npos);
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"plain", "state.json"}));
    ResetServedData();
}

}  // namespace
