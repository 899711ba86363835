#include <gtest/gtest.h>
#include <modbus.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/cli_program.h"

namespace {

constexpr Milliseconds kBound{10000};

// Generated 32-bit values are written in one hold of the register lock: a client reading them at
// full speed while they change every 10 ms never sees one word of the old value beside one of the
// new. Each counter steps by 0x00010001 so that its two words are always equal, whatever the order;
// 62 of them in one read of 124 registers give a torn write thousands of chances a second.
TEST(GeneratorProcessTest, ClientsReadingAtFullSpeedNeverSeeHalfAValue)
{
    constexpr int kValues = 62;
    std::vector<std::string> arguments = {"--port", "0", "--bind", "127.0.0.1"};
    for (int value = 0; value < kValues; ++value) {
        arguments.push_back("--generate");
        arguments.push_back("registers " + std::to_string(2 * value) + " uint32 counter step=65537 period=10ms" +
                            (value % 2 == 0 ? "" : " order=CDAB"));
    }
    ChildProcess child;
    ASSERT_TRUE(child.Start(CliPath(), arguments));
    std::optional<std::string> listening = child.WaitForLine("Listening on ", kBound);
    ASSERT_TRUE(listening) << child.Errors();
    const std::string port = listening->substr(listening->rfind(':') + 1);
    modbus_t* context = modbus_new_tcp_pi("127.0.0.1", port.c_str());
    modbus_set_slave(context, 1);
    ASSERT_EQ(modbus_connect(context), 0);

    // A read takes tens of microseconds: some thousands of them for each of 400 new values.
    std::set<uint16_t> seen;
    int torn = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (seen.size() < 400 && std::chrono::steady_clock::now() < end) {
        uint16_t words[2 * kValues] = {};
        ASSERT_EQ(modbus_read_registers(context, 0, 2 * kValues, words), 2 * kValues);
        for (int value = 0; value < kValues; ++value) {
            torn += words[2 * value] != words[2 * value + 1];
        }
        seen.insert(words[0]);
    }
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(seen.size(), 400u);   // the values did change while they were read
    modbus_close(context);
    modbus_free(context);
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitForExit(kBound), 0);
}

}  // namespace
