#include <ctime>
#include <string>

#include "control/http_api_fixture.h"

namespace control_test {
namespace {

// The first value of `count` registers a libmodbus client reads, or -1.
int64_t ReadValue(ModbusClient& client, int function, int address, int count)
{
    uint16_t words[2] = {};
    const int read = function == 3 ? modbus_read_registers(client.context, address, count, words)
                                   : modbus_read_input_registers(client.context, address, count, words);
    return read != count ? -1 : count == 1 ? words[0] : (int64_t{words[0]} << 16 | words[1]);
}

// Reads until `holds` (bounded); the last value read.
int64_t ReadUntil(ModbusClient& client, int function, int address, int count, const std::function<bool(int64_t)>& holds)
{
    int64_t value = -1;
    for (auto end = steady_clock::now() + kBound; steady_clock::now() < end;) {
        value = ReadValue(client, function, address, count);
        if (holds(value)) {
            break;
        }
        std::this_thread::sleep_for(Milliseconds(5));
    }
    return value;
}

// Generators listed, added and removed at run time, and what a Modbus client reads meanwhile.
TEST_F(HttpApiTest, GeneratorsComeAndGoAtRunTimeAndOverwriteClientWrites)
{
    Run({"--http", "127.0.0.1:0", "--generate", "registers 0  uint16 counter start=100 period=10ms"});
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    httplib::Result first = http->Get("/api/v1/generators");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body, R"({"generators":[{"id":1,"text":"registers 0 uint16 counter start=100 period=10ms"}]})");
    EXPECT_GT(ReadUntil(client, 3, 0, 1, [](int64_t value) { return value > 101; }), 101);
    // A client's write is answered, then overwritten by the counter, which goes on from its own value.
    ASSERT_EQ(modbus_write_register(client.context, 0, 60000), 1);
    EXPECT_LT(ReadUntil(client, 3, 0, 1, [](int64_t value) { return value != 60000; }), 60000);

    // Generators stop with the server and resume with it.
    ASSERT_EQ(http->Post("/api/v1/server/stop")->status, 200);
    const Json stopped = Get("/api/v1/registers?start=0&count=1");
    std::this_thread::sleep_for(Milliseconds(50));
    EXPECT_EQ(Get("/api/v1/registers?start=0&count=1"), stopped);
    ASSERT_EQ(http->Post("/api/v1/server/start")->status, 200);
    EXPECT_NE(GetWhen("/api/v1/registers?start=0&count=1", [&](const Json& now) { return now != stopped; }), stopped);
    ModbusClient again(modbusPort);   // the stop closed the first connection; the port stays
    ASSERT_TRUE(again.connected);

    httplib::Result added =
        http->Post("/api/v1/generators", R"({"generator": "input-registers 5 uint32  time"})", "application/json");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 201);
    EXPECT_EQ(added->body, R"({"id":2,"text":"input-registers 5 uint32 time"})");
    ASSERT_TRUE(child.WaitForLine("Generator 2 added: input-registers 5 uint32 time", kBound));
    const int64_t now = std::time(nullptr);
    EXPECT_NEAR(ReadUntil(again, 4, 5, 2, [now](int64_t value) { return value >= now; }), now, 5);

    const struct {
        const char* path;
        int status;
        std::string body;
    } deletes[] = {
        {"/api/v1/generators/1", 200, R"({"generators":[{"id":2,"text":"input-registers 5 uint32 time"}]})"},
        {"/api/v1/generators/1", 404, R"({"error":"there is no generator with id 1"})"},
        {"/api/v1/generators/x", 400, R"({"error":"'x' is not a generator id: expected a number from 1 to 4294967295"})"},
        {"/api/v1/generators", 200, R"({"generators":[]})"},
    };
    for (const auto& c : deletes) {
        SCOPED_TRACE(c.path);
        httplib::Result result = http->Delete(c.path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        EXPECT_EQ(result->body, c.body);
    }
    // Removed, the counter stands still where it was.
    const int64_t standing = ReadValue(again, 3, 0, 1);
    std::this_thread::sleep_for(Milliseconds(50));
    EXPECT_EQ(ReadValue(again, 3, 0, 1), standing);
}

}  // namespace
}  // namespace control_test
