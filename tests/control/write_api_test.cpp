// The control interface's writes (the four tables, config, state) through httplib's client against
// parvane-cli, read back through the API and through libmodbus: what a refused write answers and
// that it changes nothing, and what an accepted one changes, at the edges of the tables.

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "http_api_fixture.h"
#include "parvane_version.h"

namespace {

using namespace control_test;

struct Answer {
    int status = 0;   // 0: no answer
    std::string body;
};

// One request as a script sends it; `authorization` nullptr sends no Authorization header.
Answer Exchange(httplib::Client& http, const char* method, const std::string& path, const std::string& body,
                const char* authorization = nullptr)
{
    httplib::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    request.set_header("Content-Type", "application/json");
    if (authorization != nullptr) {
        request.set_header("Authorization", authorization);
    }
    httplib::Result result = http.send(request);
    return result ? Answer{result->status, result->body} : Answer{};
}

// A table's values as a libmodbus client reads them from `start` on, or {} on a refusal.
std::vector<int> ModbusRegisters(const ModbusClient& client, int start, int count)
{
    std::vector<uint16_t> values(static_cast<size_t>(count));
    if (modbus_read_registers(client.context, start, count, values.data()) != count) {
        return {};
    }
    return std::vector<int>(values.begin(), values.end());
}

std::vector<int> ModbusCoils(const ModbusClient& client, int start, int count)
{
    std::vector<uint8_t> values(static_cast<size_t>(count));
    if (modbus_read_bits(client.context, start, count, values.data()) != count) {
        return {};
    }
    return std::vector<int>(values.begin(), values.end());
}

// Any of the four tables, named as its path names it, read by its own function code (1 to 4).
std::vector<int> ModbusCells(const ModbusClient& client, const std::string& table, int start, int count)
{
    std::vector<uint16_t> words(static_cast<size_t>(count));
    std::vector<uint8_t> bits(static_cast<size_t>(count));
    int read = -1;
    if (table == "registers") {
        read = modbus_read_registers(client.context, start, count, words.data());
    } else if (table == "input-registers") {
        read = modbus_read_input_registers(client.context, start, count, words.data());
    } else if (table == "coils") {
        read = modbus_read_bits(client.context, start, count, bits.data());
    } else if (table == "discrete-inputs") {
        read = modbus_read_input_bits(client.context, start, count, bits.data());
    }
    if (read != count) {
        return {};
    }
    return table.ends_with("registers") ? std::vector<int>(words.begin(), words.end())
                                        : std::vector<int>(bits.begin(), bits.end());
}

TEST_F(HttpApiTest, RefusedWritesAnswerTheRuleAndChangeNothing)
{
    const char* const kToken = "Bearer w-Token";
    const std::string tokenFile = WriteTempFile("parvane-write-token", "w-Token\n");
    Run({"--http", "127.0.0.1:0", "--http-token-file", tokenFile});
    std::remove(tokenFile.c_str());
    // Values at both ends of each table and code 6 switched off, each of which a wrong write would
    // change.
    ASSERT_EQ(Exchange(*http, "PUT", "/api/v1/state",
                       R"({"format": "parvane-state", "version": 1, "config": {"disabledFunctions": [6]},
                           "registers": [{"start": 0, "values": [4660, 22136]}, {"start": 65535, "values": [7]}],
                           "coils": [{"start": 0, "values": [1, 0, 1]}, {"start": 65535, "values": [1]}],
                           "inputRegisters": [{"start": 0, "values": [5]}, {"start": 65535, "values": [8]}],
                           "discreteInputs": [{"start": 0, "values": [0, 1]}, {"start": 65535, "values": [1]}]})",
                       kToken)
                  .status,
              200);
    const Answer stateBefore = Exchange(*http, "GET", "/api/v1/state", "", kToken);
    const Answer configBefore = Exchange(*http, "GET", "/api/v1/config", "", kToken);
    ASSERT_EQ(configBefore.body,
              R"({"registers":{"start":0,"size":65536},"coils":{"start":0,"size":65536},)"
              R"("inputRegisters":{"start":0,"size":65536},"discreteInputs":{"start":0,"size":65536},)"
              R"("disabledFunctions":[6],"standardLimits":false,"unitIds":null,"unknownUnit":"none"})");
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);

    // Over the body limit only by its padding: a server that read it would write register 0.
    const std::string padding(4 * 1024 * 1024, ' ');
    const std::string kTooLarge = "the request body is larger than 4194304 bytes";
    const std::string kNoToken =
        "this interface needs the header 'Authorization: Bearer TOKEN' with the token of --http-token-file";
    const std::string kWrongToken = "the bearer token is wrong";
    const std::string kFreshState = R"({"format": "parvane-state", "version": 1})";
    const struct {
        const char* method;
        const char* path;
        std::string body;
        const char* authorization;
        int status;
        std::string error;   // the sentence, or its start where a syntax error's byte is told
    } cases[] = {
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1, 2,)", kToken, 400,
         "not JSON (syntax error at byte "},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1, 2, "3"]})", kToken, 400,
         R"(values[2]: "3" is not a whole number from 0 to 65535)"},
        {"PUT", "/api/v1/registers", R"({"start": "0", "values": [1]})", kToken, 400,
         "start: must be a whole number from 0 to 65535"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1, 2, 65536]})", kToken, 400,
         "values[2]: 65536 is not in 0..65535"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1, -1]})", kToken, 400,
         "values[1]: -1 is not in 0..65535"},
        {"PUT", "/api/v1/registers", R"({"start": 65535, "values": [1, 2]})", kToken, 400,
         "the run from 65535 with 2 values passes address 65535"},
        {"PUT", "/api/v1/registers", R"({"start": 65536, "values": [1]})", kToken, 400,
         "start: must be a whole number from 0 to 65535"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1], "unit": 1})", kToken, 400, "unknown member 'unit'"},
        {"PUT", "/api/v1/registers", padding + R"({"start": 0, "values": [1]})", kToken, 413, kTooLarge},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1]})", nullptr, 401, kNoToken},
        {"PUT", "/api/v1/registers", R"({"start": 0, "values": [1]})", "Bearer w-Token2", 401, kWrongToken},
        {"POST", "/api/v1/registers", R"({"start": 0, "values": [1]})", kToken, 405,
         "POST is not allowed on /api/v1/registers; use GET, PUT"},

        // Typed runs: a value the type cannot hold, named with the type's range; a type, an order or
        // a run past the table's end; and bits, which have no type.
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "uint32", "values": [1, -1]})", kToken, 400,
         "values[1]: -1 is not a uint32 (a whole number from 0 to 4294967295)"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "int16", "order": "DCBA", "values": [3.5]})", kToken,
         400, "values[0]: 3.5 is not an int16 (a whole number from -32768 to 32767)"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "int64", "values": [9223372036854775808]})", kToken, 400,
         "values[0]: 9223372036854775808 is not an int64 (a whole number from -9223372036854775808 to "
         "9223372036854775807)"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "float32", "values": [1, 1e39]})", kToken, 400,
         "values[1]: 1e+39 is not a float32 (a number from -3.4028235e+38 to 3.4028235e+38)"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "float64", "values": ["1"]})", kToken, 400,
         R"(values[0]: "1" is not a float64 (a finite number))"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "ascii", "values": "caf\u00e9"})", kToken, 400,
         "values: must be ASCII (bytes 0 to 127), got byte 195 at 3"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "ascii", "values": ""})", kToken, 400,
         "values: must hold at least one character"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "ascii", "values": ["AB"]})", kToken, 400,
         "values: expected one string for type ascii, got a list"},
        {"PUT", "/api/v1/registers", R"({"start": 0, "type": "float", "values": [1]})", kToken, 400,
         "type: 'float' is not one of uint16, int16, uint32, int32, float32, uint64, int64, float64, ascii"},
        {"PUT", "/api/v1/input-registers", R"({"start": 0, "order": "ABDC", "values": [1]})", kToken, 400,
         "order: 'ABDC' is not one of ABCD, CDAB, BADC, DCBA"},
        {"PUT", "/api/v1/input-registers", R"({"start": 65534, "type": "ascii", "values": "abcde"})", kToken, 400,
         "the run from 65534 with 5 characters (3 registers) passes address 65535"},
        {"GET", "/api/v1/registers?start=65535&count=1&type=float32", "", kToken, 400,
         "start + count: 65535 + 1 float32 values (2 registers) is past 65536, the end of the table"},
        {"GET", "/api/v1/input-registers?start=0&count=1&type=int8", "", kToken, 400,
         "type: 'int8' is not one of uint16, int16, uint32, int32, float32, uint64, int64, float64, ascii"},
        {"PUT", "/api/v1/coils", R"({"start": 0, "type": "uint16", "values": [1]})", kToken, 400,
         "type and order are for registers; coils and discrete inputs hold single bits"},
        {"GET", "/api/v1/discrete-inputs?start=0&count=1&order=ABCD", "", kToken, 400,
         "type and order are for registers; coils and discrete inputs hold single bits"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1,
             "registers": [{"start": 0, "values": [9]}, {"start": 10, "type": "int16", "values": [1, 3.5]}]})",
         kToken, 400, "registers[1].values[1]: 3.5 is not an int16 (a whole number from -32768 to 32767)"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "inputRegisters": [{"start": 65533, "type": "int64", "values": [1]}]})",
         kToken, 400, "inputRegisters[0]: the run from 65533 with 1 int64 values (4 registers) passes address 65535"},

        {"PUT", "/api/v1/coils", "", kToken, 400, "not JSON (syntax error at byte 1)"},
        {"PUT", "/api/v1/coils", R"({"start": 0, "values": [0, 0, "1"]})", kToken, 400,
         R"(values[2]: "1" is not one of 0, 1, true, false)"},
        {"PUT", "/api/v1/coils", R"({"start": 0, "values": [0, 0, 2]})", kToken, 400,
         "values[2]: 2 is not one of 0, 1, true, false"},
        {"PUT", "/api/v1/coils", R"({"start": 65530, "values": [0, 0, 0, 0, 0, 0, 1]})", kToken, 400,
         "the run from 65530 with 7 values passes address 65535"},
        {"PUT", "/api/v1/coils", R"({"start": 0, "value": [0]})", kToken, 400, "unknown member 'value'"},
        {"PUT", "/api/v1/coils", padding + R"({"start": 0, "values": [0]})", kToken, 413, kTooLarge},
        {"PUT", "/api/v1/coils", R"({"start": 0, "values": [0]})", "Bearer", 401, kWrongToken},
        {"DELETE", "/api/v1/coils", "", kToken, 405, "DELETE is not allowed on /api/v1/coils; use GET, PUT"},

        // The tables that clients only read take the same runs as the other two.
        {"PUT", "/api/v1/input-registers", R"({"start": 0, "values": [1, 2, 65536]})", kToken, 400,
         "values[2]: 65536 is not in 0..65535"},
        {"PUT", "/api/v1/input-registers", R"({"start": 65535, "values": [1, 2]})", kToken, 400,
         "the run from 65535 with 2 values passes address 65535"},
        {"PUT", "/api/v1/input-registers", R"({"start": 0, "values": [1]})", nullptr, 401, kNoToken},
        {"PUT", "/api/v1/discrete-inputs", R"({"start": 0, "values": [0, 0, 2]})", kToken, 400,
         "values[2]: 2 is not one of 0, 1, true, false"},
        {"PUT", "/api/v1/discrete-inputs", R"({"values": [1]})", kToken, 400, "missing member 'start'"},
        {"POST", "/api/v1/discrete-inputs", R"({"start": 0, "values": [1]})", kToken, 405,
         "POST is not allowed on /api/v1/discrete-inputs; use GET, PUT"},

        // A good member before a bad one must not be applied either.
        {"PUT", "/api/v1/config", R"({"registers": {"start": 0, "size": 10})", kToken, 400,
         "not JSON (syntax error at byte "},
        {"PUT", "/api/v1/config", R"({"registers": {"start": 0, "size": "10"}})", kToken, 400,
         "registers.size: must be a whole number from 1 to 65536"},
        {"PUT", "/api/v1/config", R"({"disabledFunctions": 5})", kToken, 400,
         "disabledFunctions: expected a list of function codes such as [5, 6]"},
        {"PUT", "/api/v1/config", R"({"registers": {"start": 0, "size": 10}, "coils": {"start": 0, "size": 0}})",
         kToken, 400, "coils.size: must be at least 1"},
        {"PUT", "/api/v1/config", R"({"registers": {"start": 65000, "size": 1000}})", kToken, 400,
         "registers: start + size must be at most 65536, got 65000 + 1000"},
        {"PUT", "/api/v1/config", R"({"registers": {"start": 0, "size": 10}, "disabledFunctions": [5, 7]})",
         kToken, 400, "disabledFunctions[1]: 7 is not one of the function codes 1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43"},
        {"PUT", "/api/v1/config", R"({"disabledFunctions": [2, 4], "inputRegisters": {"start": 1, "size": 65536}})",
         kToken, 400, "inputRegisters: start + size must be at most 65536, got 1 + 65536"},
        {"PUT", "/api/v1/config", R"({"discreteInputs": {"start": 0}})", kToken, 400,
         "discreteInputs: missing member 'size'"},
        {"PUT", "/api/v1/config", R"({"registers": {"start": 0, "size": 10}, "disabled": [5]})", kToken, 400,
         "unknown member 'disabled'"},
        {"PUT", "/api/v1/config", R"({"coils": {"start": 0, "size": 10, "end": 9}})", kToken, 400,
         "coils: unknown member 'end'"},
        {"PUT", "/api/v1/config", padding + R"({"disabledFunctions": []})", kToken, 413, kTooLarge},
        {"PUT", "/api/v1/config", R"({"disabledFunctions": []})", nullptr, 401, kNoToken},
        {"POST", "/api/v1/config", R"({"disabledFunctions": []})", kToken, 405,
         "POST is not allowed on /api/v1/config; use GET, PUT"},

        {"PUT", "/api/v1/config", R"({"disabledFunctions": [], "standardLimits": "yes"})", kToken, 400,
         R"(standardLimits: must be true or false, got "yes")"},

        {"PUT", "/api/v1/device-id", R"({"VendorName": "Acme", "ModelName": ")" + std::string(245, 'm') + R"("})",
         kToken, 400, "ModelName: must be at most 244 characters, got 245"},
        {"PUT", "/api/v1/device-id", R"({"VendorName": "Acme", "ProductName": "a\nb"})", kToken, 400,
         "ProductName: must be printable ASCII (0x20 to 0x7E), got byte 10 at 1"},
        {"PUT", "/api/v1/device-id", R"({"VendorName": "Acme", "Vendor": "Acme"})", kToken, 400,
         "unknown member 'Vendor'"},
        {"PUT", "/api/v1/device-id", R"(["Acme"])", kToken, 400,
         R"(expected an object such as {"VendorName": "Parvane"})"},
        {"DELETE", "/api/v1/device-id", "", kToken, 405, "DELETE is not allowed on /api/v1/device-id; use GET, PUT"},

        {"PUT", "/api/v1/state", R"({"format": "parvane-state", "version": 1)", kToken, 400,
         "not JSON (syntax error at byte "},
        {"PUT", "/api/v1/state", R"({"format": "parvane-state", "version": "1"})", kToken, 400,
         R"(version: "1" is not a version this program reads (it reads 1))"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "registers": {"start": 0, "values": [1]}})", kToken, 400,
         R"(registers: expected a list of runs such as [{"start": 0, "values": [...]}])"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "config": {"disabledFunctions": []},
             "registers": [{"start": 0, "values": [9]}, {"start": 10, "values": [70000]}]})",
         kToken, 400, "registers[1].values[0]: 70000 is not in 0..65535"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "coils": [{"start": 65535, "values": [1, 1]}]})", kToken, 400,
         "coils[0]: the run from 65535 with 2 values passes address 65535"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "inputRegisters": [{"start": 0, "values": [9, -9]}]})", kToken,
         400, "inputRegisters[0].values[1]: -9 is not in 0..65535"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "discreteInputs": [{"start": 0, "values": [0]}], "inputs": []})",
         kToken, 400, "unknown member 'inputs'"},
        {"PUT", "/api/v1/state",
         R"({"format": "parvane-state", "version": 1, "config": {"registers": {"start": 0, "size": 10}, "colis": {}}})",
         kToken, 400, "config: unknown member 'colis'"},
        {"PUT", "/api/v1/state", R"({"version": 1, "registers": []})", kToken, 400,
         R"(missing member 'format' (a state document has "format": "parvane-state"))"},
        {"PUT", "/api/v1/state", padding + kFreshState, kToken, 413, kTooLarge},
        {"PUT", "/api/v1/state", kFreshState, nullptr, 401, kNoToken},
        {"PUT", "/api/v1/state", kFreshState, "Bearer w-token", 401, kWrongToken},
        {"DELETE", "/api/v1/state", "", kToken, 405, "DELETE is not allowed on /api/v1/state; use GET, PUT"},
        // Fault rules: refused whole, naming the word or the member; nothing is added.
        {"POST", "/api/v1/faults", R"({"rule": "delay=5-2"})", kToken, 400,
         "rule: cannot read 'delay=5-2': expected delay=MS or delay=MIN-MAX, milliseconds 0 to 3600000, MIN at most MAX"},
        {"POST", "/api/v1/faults", R"({"rule": "drop probability=2"})", kToken, 400,
         "rule: cannot read 'probability=2': expected probability=P with P from 0 to 1, e.g. 0.25"},
        {"POST", "/api/v1/faults", R"({"rule": ""})", kToken, 400,
         "rule: the rule is empty: expected ACTION[=VALUE] [CONDITION ...]"},
        {"POST", "/api/v1/faults", R"({"rule": 5})", kToken, 400, "rule: must be a string such as \"drop fc=3\""},
        {"POST", "/api/v1/faults", R"({"rules": "drop"})", kToken, 400, "unknown member 'rules'"},
        {"POST", "/api/v1/faults", R"(["drop"])", kToken, 400,
         "expected an object such as {\"rule\": \"drop fc=3\"}, got a list"},
        // Generators: refused whole, naming the word or the member; nothing is added.
        {"POST", "/api/v1/generators", R"({"generator": "registers 0 uint16 counter period=5ms"})", kToken, 400,
         "generator: cannot read 'period=5ms': expected N ms or N s, from 10 ms to a day, e.g. 100ms or 60s"},
        {"POST", "/api/v1/generators", R"({"generator": "registers 0 uint32 copy from=1"})", kToken, 400,
         "generator: cannot read 'copy': a copy onto itself: the source overlaps the target"},
        {"POST", "/api/v1/generators", R"({"generator": "registers 65535 float32 sine"})", kToken, 400,
         "generator: cannot read '65535': the value's 2 cells run past 65535"},
        {"POST", "/api/v1/generators", R"({"generator": 5})", kToken, 400,
         "generator: must be a string such as \"registers 0 uint16 counter\""},
        {"POST", "/api/v1/generators", R"({"generators": "x"})", kToken, 400, "unknown member 'generators'"},
        {"DELETE", "/api/v1/generators/0", "", kToken, 400,
         "'0' is not a generator id: expected a number from 1 to 4294967295"},
        // Captures: a name that is missing, of the wrong type, or that cannot be created starts none.
        {"POST", "/api/v1/capture", "{}", kToken, 400,
         "file: expected the capture file's name as a non-empty string"},
        {"POST", "/api/v1/capture", R"({"file": ""})", kToken, 400,
         "file: expected the capture file's name as a non-empty string"},
        {"POST", "/api/v1/capture", R"({"file": 5})", kToken, 400,
         "file: expected the capture file's name as a non-empty string"},
        {"POST", "/api/v1/capture", R"(["x.pcap"])", kToken, 400,
         R"(expected an object such as {"file": "/tmp/modbus.pcap"})"},
        {"POST", "/api/v1/capture", R"({"file": "x.pcap", "size": 1})", kToken, 400, "unknown member 'size'"},
        {"POST", "/api/v1/capture", R"({"file": "/nonexistent-dir/x.pcap"})", kToken, 400,
         "cannot create capture file: /nonexistent-dir/x.pcap: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.body.substr(0, 120));
        const Answer answer = Exchange(*http, c.method, c.path, c.body, c.authorization);
        EXPECT_EQ(answer.status, c.status);
        const Json error = Json::parse(answer.body, nullptr, false);
        ASSERT_TRUE(error.is_object() && error.size() == 1 && error["error"].is_string()) << answer.body;
        const std::string sentence = error["error"];
        EXPECT_EQ(sentence.rfind(c.error, 0), 0u) << sentence;
        EXPECT_TRUE(sentence.size() == c.error.size() || c.error.back() == ' ') << sentence;

        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/state", "", kToken).body, stateBefore.body);
        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/config", "", kToken).body, configBefore.body);
        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/faults", "", kToken).body, R"({"rules":[]})");
        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/generators", "", kToken).body, R"({"generators":[]})");
        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/capture", "", kToken).body, R"({"capturing":false})");
        EXPECT_EQ(ModbusRegisters(client, 0, 3), (std::vector<int>{4660, 22136, 0}));
        EXPECT_EQ(ModbusRegisters(client, 65535, 1), (std::vector<int>{7}));
        EXPECT_EQ(ModbusCoils(client, 0, 3), (std::vector<int>{1, 0, 1}));
        EXPECT_EQ(ModbusCoils(client, 65535, 1), (std::vector<int>{1}));
        EXPECT_EQ(ModbusCells(client, "input-registers", 0, 2), (std::vector<int>{5, 0}));
        EXPECT_EQ(ModbusCells(client, "input-registers", 65535, 1), (std::vector<int>{8}));
        EXPECT_EQ(ModbusCells(client, "discrete-inputs", 0, 3), (std::vector<int>{0, 1, 0}));
        EXPECT_EQ(ModbusCells(client, "discrete-inputs", 65535, 1), (std::vector<int>{1}));
        EXPECT_EQ(modbus_write_register(client.context, 1, 1), -1);
        EXPECT_EQ(errno, EMBXILFUN);
    }
}

TEST_F(HttpApiTest, EachTableWrittenAtItsEdgesReadsBackThroughHttpAndModbus)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    std::vector<int> everyRegister(65536);
    std::vector<int> everyCoil(65536);
    for (size_t address = 0; address < everyRegister.size(); ++address) {
        everyRegister[address] = static_cast<int>((address * 7919 + 1) % 65536);   // 1, then no value twice
        everyCoil[address] = address % 3 == 0 ? 1 : 0;
    }
    const struct {
        const char* table;
        int start;
        std::vector<int> values;
    } cases[] = {
        {"registers", 65535, {65535}},
        {"registers", 0, everyRegister},
        {"coils", 65535, {1}},
        {"coils", 0, everyCoil},
        {"input-registers", 65535, {65535}},
        {"input-registers", 0, everyRegister},
        {"discrete-inputs", 65535, {1}},
        {"discrete-inputs", 0, everyCoil},
    };
    for (const auto& c : cases) {
        const std::string path = std::string("/api/v1/") + c.table;
        SCOPED_TRACE(path + " from " + std::to_string(c.start));
        const Answer put = Exchange(*http, "PUT", path, Json{{"start", c.start}, {"values", c.values}}.dump());
        EXPECT_EQ(put.status, 200) << put.body;
        EXPECT_EQ(put.body,
                  R"({"start":)" + std::to_string(c.start) + R"(,"count":)" + std::to_string(c.values.size()) + "}");
        const Json read = Get(path + "?start=" + std::to_string(c.start) + "&count=" + std::to_string(c.values.size()));
        EXPECT_EQ(read["values"].get<std::vector<int>>(), c.values);
        // The first and the last cells as a Modbus client sees them.
        const int count = static_cast<int>(std::min<size_t>(c.values.size(), 100));
        for (int first : {c.start, 65536 - count}) {
            const std::vector<int> expected(c.values.begin() + (first - c.start),
                                            c.values.begin() + (first - c.start) + count);
            EXPECT_EQ(ModbusCells(client, c.table, first, count), expected) << first;
        }
    }
}

TEST_F(HttpApiTest, ConfigPutNarrowsWhatAModbusClientReachesAndKeepsWhatItLeavesOut)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    const struct {
        std::string body;
        std::string config;   // the answer, and GET's afterwards
    } steps[] = {
        {R"({"registers": {"start": 100, "size": 10}, "disabledFunctions": [16, 6]})",
         R"({"registers":{"start":100,"size":10},"coils":{"start":0,"size":65536},)"
         R"("inputRegisters":{"start":0,"size":65536},"discreteInputs":{"start":0,"size":65536},"disabledFunctions":[6,16],)"
         R"("standardLimits":false,"unitIds":null,"unknownUnit":"none"})"},
        {R"({"coils": {"start": 65535, "size": 1}, "standardLimits": true})",
         R"({"registers":{"start":100,"size":10},"coils":{"start":65535,"size":1},)"
         R"("inputRegisters":{"start":0,"size":65536},"discreteInputs":{"start":0,"size":65536},"disabledFunctions":[6,16],)"
         R"("standardLimits":true,"unitIds":null,"unknownUnit":"none"})"},
        {R"({"inputRegisters": {"start": 20, "size": 2}, "discreteInputs": {"start": 0, "size": 8}, "disabledFunctions": [6, 16]})",
         R"({"registers":{"start":100,"size":10},"coils":{"start":65535,"size":1},)"
         R"("inputRegisters":{"start":20,"size":2},"discreteInputs":{"start":0,"size":8},"disabledFunctions":[6,16],)"
         R"("standardLimits":true,"unitIds":null,"unknownUnit":"none"})"},
        {R"({"unitIds": "20-10"})", ""},   // refused: the config stays as it was
        {R"({"unitIds": "1,10-20", "unknownUnit": "exception"})",
         R"({"registers":{"start":100,"size":10},"coils":{"start":65535,"size":1},)"
         R"("inputRegisters":{"start":20,"size":2},"discreteInputs":{"start":0,"size":8},"disabledFunctions":[6,16],)"
         R"("standardLimits":true,"unitIds":"1,10-20","unknownUnit":"exception"})"},
    };
    std::string config;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.body);
        const Answer put = Exchange(*http, "PUT", "/api/v1/config", step.body);
        EXPECT_EQ(put.status, step.config.empty() ? 400 : 200);
        config = step.config.empty() ? config : step.config;
        EXPECT_EQ(put.body, step.config.empty() ? R"({"error":"unitIds: '20-10' is not a range: it must run upwards, such as 10-20"})"
                                                : config);
        EXPECT_EQ(Exchange(*http, "GET", "/api/v1/config", "").body, config);
    }
    uint16_t registers[10] = {};
    uint8_t coils[1] = {};
    uint8_t inputs[8] = {};
    modbus_t* modbus = client.context;
    modbus_set_slave(modbus, 1);   // a served unit; libmodbus's own default, 255, is not
    const auto atUnit = [&](int unit, const std::function<int()>& call) {
        modbus_set_slave(modbus, unit);
        const int result = call();
        const int error = errno;
        modbus_set_slave(modbus, 1);
        errno = error;
        return result;
    };
    const struct {
        const char* what;
        std::function<int()> call;
        int error;   // the exception as libmodbus's errno; 0: answered normally
    } requests[] = {
        {"read registers 100..109", [&] { return modbus_read_registers(modbus, 100, 10, registers); }, 0},
        {"read register 99", [&] { return modbus_read_registers(modbus, 99, 1, registers); }, EMBXILADD},
        {"read registers 109..110", [&] { return modbus_read_registers(modbus, 109, 2, registers); }, EMBXILADD},
        {"write register 100 (code 6)", [&] { return modbus_write_register(modbus, 100, 1); }, EMBXILFUN},
        {"write registers 100 (code 16)", [&] { return modbus_write_registers(modbus, 100, 1, registers); }, EMBXILFUN},
        {"write and read registers 100 (code 23)",
         [&] { return modbus_write_and_read_registers(modbus, 100, 1, registers, 100, 1, registers); }, 0},
        {"read coil 65535", [&] { return modbus_read_bits(modbus, 65535, 1, coils); }, 0},
        {"read coil 65534", [&] { return modbus_read_bits(modbus, 65534, 1, coils); }, EMBXILADD},
        {"read input registers 20..21", [&] { return modbus_read_input_registers(modbus, 20, 2, registers); }, 0},
        {"read input registers 21..22", [&] { return modbus_read_input_registers(modbus, 21, 2, registers); }, EMBXILADD},
        {"read discrete inputs 0..7", [&] { return modbus_read_input_bits(modbus, 0, 8, inputs); }, 0},
        {"read discrete inputs 1..8", [&] { return modbus_read_input_bits(modbus, 1, 8, inputs); }, EMBXILADD},
        {"read registers 100 at unit 20", [&] { return atUnit(20, [&] { return modbus_read_registers(modbus, 100, 1, registers); }); }, 0},
        {"read registers 100 at unit 21", [&] { return atUnit(21, [&] { return modbus_read_registers(modbus, 100, 1, registers); }); }, EMBXGTAR},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.what);
        errno = 0;
        const int result = request.call();
        EXPECT_EQ(result == -1 ? errno : 0, request.error) << result;
    }
}

TEST_F(HttpApiTest, StatePutReplacesEverythingAndRoundTripsThroughGet)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    ASSERT_EQ(modbus_write_register(client.context, 5, 1), 1);
    ASSERT_EQ(modbus_write_bit(client.context, 9, 1), 1);

    // Both whole tables as runs, the largest state there is, fit in the body limit.
    const std::vector<int> allRegisters(65536, 65535);
    const std::vector<int> allCoils(65536, 1);
    const std::vector<int> allInputRegisters(65536, 4660);
    nlohmann::ordered_json full = {{"format", "parvane-state"},
                         {"version", 1},
                         {"config", {{"registers", {{"start", 0}, {"size", 65536}}},
                                     {"coils", {{"start", 1}, {"size", 65535}}},
                                     {"inputRegisters", {{"start", 0}, {"size", 65535}}},
                                     {"discreteInputs", {{"start", 2}, {"size", 65534}}},
                                     {"disabledFunctions", {2, 5, 6, 15, 16, 22}},
                                     {"standardLimits", true},
                                     {"unitIds", nullptr},
                                     {"unknownUnit", "none"}}},
                         {"deviceId", {{"VendorName", "Acme"}, {"ProductCode", "A-1"}, {"MajorMinorRevision", "2.3"},
                                       {"VendorUrl", "http://acme.example"}, {"ProductName", "Meter"},
                                       {"ModelName", std::string(244, 'M')}}},
                         {"registers", {{{"start", 0}, {"values", allRegisters}}}},
                         {"coils", {{{"start", 0}, {"values", allCoils}}}},
                         {"inputRegisters", {{{"start", 0}, {"values", allInputRegisters}}}},
                         {"discreteInputs", {{{"start", 0}, {"values", allCoils}}}}};
    const std::string fullText = full.dump();
    const struct {
        std::string body;
        std::string state;   // the answer, and GET's afterwards
    } steps[] = {
        {fullText, fullText},
        // The members a state leaves out are a fresh launch's: every other cell zero.
        {R"({"format": "parvane-state", "version": 1, "registers": [{"start": 10, "values": [1, 0, 2]}]})",
         R"({"format":"parvane-state","version":1,"config":{"registers":{"start":0,"size":65536},)"
         R"("coils":{"start":0,"size":65536},"inputRegisters":{"start":0,"size":65536},)"
         R"("discreteInputs":{"start":0,"size":65536},"disabledFunctions":[],"standardLimits":false,"unitIds":null,"unknownUnit":"none"},)"
         R"("deviceId":{"VendorName":"Parvane","ProductCode":"parvane","MajorMinorRevision":")" PARVANE_VERSION
         R"(","VendorUrl":"","ProductName":"Parvane","ModelName":"Modbus/TCP test server"},)"
         R"("registers":[{"start":10,"values":[1]},{"start":12,"values":[2]}],"coils":[],)"
         R"("inputRegisters":[],"discreteInputs":[]})"},
        // Typed runs load as their registers and are saved as plain ones.
        {R"({"format": "parvane-state", "version": 1, "registers": [{"start": 10, "type": "float32", "order": "CDAB",)"
         R"( "values": [3.14]}], "inputRegisters": [{"start": 0, "type": "ascii", "order": "BADC", "values": "ABC"}]})",
         R"({"format":"parvane-state","version":1,"config":{"registers":{"start":0,"size":65536},)"
         R"("coils":{"start":0,"size":65536},"inputRegisters":{"start":0,"size":65536},)"
         R"("discreteInputs":{"start":0,"size":65536},"disabledFunctions":[],"standardLimits":false,"unitIds":null,"unknownUnit":"none"},)"
         R"("deviceId":{"VendorName":"Parvane","ProductCode":"parvane","MajorMinorRevision":")" PARVANE_VERSION
         R"(","VendorUrl":"","ProductName":"Parvane","ModelName":"Modbus/TCP test server"},)"
         R"("registers":[{"start":10,"values":[62915,16456]}],"coils":[],)"
         R"("inputRegisters":[{"start":0,"values":[16961,67]}],"discreteInputs":[]})"},
        {fullText, fullText},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.body.substr(0, 100));
        const Answer put = Exchange(*http, "PUT", "/api/v1/state", step.body);
        EXPECT_EQ(put.status, 200);
        EXPECT_TRUE(put.body == step.state) << put.body.substr(0, 300);
        EXPECT_TRUE(Exchange(*http, "GET", "/api/v1/state", "").body == step.state);
    }
    EXPECT_EQ(ModbusRegisters(client, 65535, 1), (std::vector<int>{65535}));
    EXPECT_EQ(ModbusCoils(client, 0, 1), (std::vector<int>{}));   // the window starts at 1
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(client.context, 0, 1), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(ModbusCells(client, "input-registers", 65534, 1), (std::vector<int>{4660}));
    EXPECT_EQ(ModbusCells(client, "input-registers", 65534, 2), (std::vector<int>{}));   // the window ends at 65534
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(ModbusCells(client, "discrete-inputs", 2, 1), (std::vector<int>{}));   // code 2 is switched off
    EXPECT_EQ(errno, EMBXILFUN);
}

// A PUT names any of the objects and answers the whole set; a client then reads what it set.
TEST_F(HttpApiTest, DeviceIdPutChangesWhatAModbusClientReads)
{
    Run();
    const Answer put = Exchange(*http, "PUT", "/api/v1/device-id", R"({"ModelName": "M-1", "VendorName": "Acme"})");
    EXPECT_EQ(put.status, 200);
    const std::string expected = R"({"VendorName":"Acme","ProductCode":"parvane","MajorMinorRevision":")" PARVANE_VERSION
                                 R"(","VendorUrl":"","ProductName":"Parvane","ModelName":"M-1"})";
    EXPECT_EQ(put.body, expected);
    EXPECT_EQ(Exchange(*http, "GET", "/api/v1/device-id", "").body, expected);

    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    const uint8_t request[] = {0x01, 0x2B, 0x0E, 0x04, 0x05};   // unit 1, individual access to object 5
    ASSERT_GT(modbus_send_raw_request(client.context, request, sizeof request), 0);
    // libmodbus cannot size a code 43 confirmation, so the response is read from its socket.
    const std::vector<uint8_t> expectedResponse = {0x2B, 0x0E, 0x04, 0x82, 0x00, 0x00, 0x01, 0x05, 0x03, 'M', '-', '1'};
    const int socket = modbus_get_socket(client.context);
    ASSERT_EQ(fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) & ~O_NONBLOCK), 0);   // libmodbus's is non-blocking
    const timeval limit = {5, 0};
    ASSERT_EQ(setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    uint8_t response[7 + 12 + 1] = {};
    ASSERT_EQ(recv(socket, response, 7 + expectedResponse.size(), MSG_WAITALL), 7 + static_cast<ssize_t>(expectedResponse.size()));
    EXPECT_EQ(response[5], 1 + expectedResponse.size());   // the MBAP length: unit and PDU
    EXPECT_EQ(std::vector<uint8_t>(response + 7, response + 7 + expectedResponse.size()), expectedResponse);
}

}  // namespace
