// Typed register values against other clients' own codecs: what the API writes, pymodbus' payload
// decoder (and libmodbus' float getters) must read as the same numbers, and what pymodbus' payload
// builder writes, the API must read back, in every type and order.

#include <sstream>
#include <string>
#include <vector>

#include "http_api_fixture.h"

namespace {

using namespace control_test;

const char* const kOrders[] = {"ABCD", "CDAB", "BADC", "DCBA"};

// libmodbus' own reading of a float32 in each order, in kOrders' order.
float (*const kLibmodbusFloat[])(const uint16_t*) = {modbus_get_float_abcd, modbus_get_float_cdab,
                                                     modbus_get_float_badc, modbus_get_float_dcba};

std::string Joined(const std::vector<std::string>& values, const char* separator)
{
    std::string text;
    for (const std::string& value : values) {
        text += (text.empty() ? "" : separator) + value;
    }
    return text;
}

TEST_F(HttpApiTest, TypedValuesReadTheSameThroughPymodbusPayloadsInEveryTypeAndOrder)
{
    const std::string python = "/usr/bin/python3";   // Debian's, where python3-pymodbus lives
    ASSERT_EQ(RunToEnd(python, {"-c", "import pymodbus.payload"}).status, 0)
        << "pymodbus is missing (python3-pymodbus): scripts/install-deps.sh installs it";
    Run();
    // The edges of each type, written as Python prints what its decoder gives back.
    const struct {
        const char* type;
        std::vector<std::string> values;
        int registers;   // that the values span
    } types[] = {
        {"uint16", {"0", "65535", "4660"}, 3},
        {"int16", {"-32768", "32767", "-2"}, 3},
        {"uint32", {"4294967295", "305419896", "1"}, 6},
        {"int32", {"-2147483648", "2147483647", "-2"}, 6},
        {"float32", {"-1.5", "16777216.0", "3.4028234663852886e+38"}, 6},
        {"uint64", {"18446744073709551615", "81985529216486895"}, 8},
        {"int64", {"-9223372036854775808", "9223372036854775807", "-2"}, 12},
        {"float64", {"3.141592653589793", "-2.5e-300"}, 8},
        {"ascii", {"SERIAL-0042"}, 6},
    };
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    std::vector<std::string> arguments = {PARVANE_PYMODBUS_CLIENT, std::to_string(modbusPort)};
    std::vector<std::string> expected;
    int address = 0;   // 32 registers a row: the API's run from here, pymodbus' from 16 on
    for (const auto& row : types) {
        const bool ascii = std::string(row.type) == "ascii";
        const std::string count = std::to_string(ascii ? row.values[0].size() : row.values.size());
        const std::string values = ascii ? "\"" + row.values[0] + "\"" : "[" + Joined(row.values, ", ") + "]";
        for (size_t order = 0; order < std::size(kOrders); ++order, address += 32) {
            SCOPED_TRACE(std::string(row.type) + " " + kOrders[order]);
            const std::string shape = std::string(row.type) + ":" + kOrders[order];
            for (const char* table : {"registers", "input-registers"}) {
                const std::string body = R"({"start": )" + std::to_string(address) + R"(, "type": ")" + row.type +
                                         R"(", "order": ")" + kOrders[order] + R"(", "values": )" + values + "}";
                httplib::Result put = http->Put((std::string("/api/v1/") + table).c_str(), body, "application/json");
                ASSERT_TRUE(put);
                EXPECT_EQ(put->status, 200) << put->body;
                const std::string kind = table == std::string("registers") ? "holding-registers" : table;
                arguments.push_back("typed:" + kind + ":" + std::to_string(address) + ":" + shape + ":" + count);
                expected.push_back(arguments.back() + " " + Joined(row.values, " "));
            }
            arguments.push_back("build:" + std::to_string(address + 16) + ":" + shape + ":" + Joined(row.values, ","));
            expected.push_back(arguments.back() + " written " + std::to_string(row.registers));
            if (std::string(row.type) == "float32") {
                uint16_t registers[2] = {};
                ASSERT_EQ(modbus_read_registers(client.context, address, 2, registers), 2);
                EXPECT_EQ(kLibmodbusFloat[order](registers), -1.5f);
            }
        }
    }
    ChildOptions merged;
    merged.errors = ChildErrors::kMerged;
    const ChildResult result = RunToEnd(python, arguments, merged);
    EXPECT_EQ(result.status, 0) << result.output;
    std::istringstream output(result.output);
    std::string line;
    size_t found = 0;
    while (found < expected.size() && std::getline(output, line)) {
        found += line == expected[found] ? 1 : 0;
    }
    EXPECT_EQ(found, expected.size()) << "missing: " << (found < expected.size() ? expected[found] : "") << "\nin:\n"
                                      << result.output;

    // What pymodbus built, read back through the API with the same type and order.
    address = 0;
    for (const auto& row : types) {
        const bool ascii = std::string(row.type) == "ascii";
        const Json values = ascii ? Json(row.values[0]) : Json::parse("[" + Joined(row.values, ",") + "]");
        for (const char* order : kOrders) {
            SCOPED_TRACE(std::string(row.type) + " " + order);
            const Json read = Get("/api/v1/registers?start=" + std::to_string(address + 16) +
                                  "&count=" + std::to_string(ascii ? row.values[0].size() : values.size()) +
                                  "&type=" + row.type + "&order=" + order);
            address += 32;
            EXPECT_EQ(read["type"], row.type);
            EXPECT_EQ(read["order"], order);
            if (std::string(row.type) == "float32") {
                // The answer is each float's shortest text; compared as floats.
                ASSERT_EQ(read["values"].size(), values.size()) << read;
                for (size_t index = 0; index < values.size(); ++index) {
                    EXPECT_EQ(read["values"][index].get<float>(), values[index].get<float>()) << read;
                }
            } else {
                EXPECT_EQ(read["values"], values);
            }
        }
    }
}

}  // namespace
