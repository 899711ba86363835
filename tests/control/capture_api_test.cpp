// The capture's routes through a running parvane-cli: each answer and status in turn, and a file
// that holds the request made while it ran.

#include <gtest/gtest.h>
#include <httplib.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "http_api_fixture.h"

namespace {

using namespace control_test;

TEST_F(HttpApiTest, CaptureStartsOnceWithACreatableFileAndEndsOnce)
{
    Run();
    const std::string file =
        (std::filesystem::temp_directory_path() / ("parvane_api_" + std::to_string(getpid()) + ".pcap")).string();
    std::filesystem::remove(file);
    const struct Step {
        const char* method;
        std::string body;
        int status;
        std::string answer;   // the whole answer, or the error's start
    } steps[] = {
        {"GET", "", 200, R"({"capturing":false})"},
        {"DELETE", "", 409, "no capture is running"},
        {"POST", R"({"file": ")" + file + R"("})", 200, R"({"capturing":true,"file":")" + file + R"("})"},
        {"POST", R"({"file": ")" + file + R"(.2"})", 409, "a capture to " + file + " is already running"},
        {"GET", "", 200, R"({"capturing":true,"file":")" + file + R"("})"},
        {"MODBUS", "", 0, ""},
        {"DELETE", "", 200, R"({"capturing":false})"},
        {"DELETE", "", 409, "no capture is running"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.method) + " " + step.body);
        if (step.method == std::string("MODBUS")) {
            ModbusClient client(modbusPort);
            uint16_t values[2];
            ASSERT_EQ(modbus_read_registers(client.context, 1234, 2, values), 2);
            continue;
        }
        httplib::Result result = step.method == std::string("GET")    ? http->Get("/api/v1/capture")
                                 : step.method == std::string("POST") ? http->Post("/api/v1/capture", step.body,
                                                                                   "application/json")
                                                                      : http->Delete("/api/v1/capture");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, step.status) << result->body;
        if (step.status == 200) {
            EXPECT_EQ(result->body, step.answer);
        } else {
            Json error = Json::parse(result->body, nullptr, false);
            EXPECT_EQ(error["error"].get<std::string>().rfind(step.answer, 0), 0u) << result->body;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(file + ".2"));
    // The request's PDU, code 3 from address 1234 (0x04D2) for 2 registers, is in the closed file.
    std::ifstream stream(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    const std::vector<char> pdu = {0x03, 0x04, static_cast<char>(0xD2), 0x00, 0x02};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), pdu.begin(), pdu.end()), bytes.end());
    std::filesystem::remove(file);
}

}  // namespace
