#include <string>

#include "control/http_api_fixture.h"

namespace control_test {
namespace {

// Rules listed, added and removed at run time, and what a Modbus client meets meanwhile.
TEST_F(HttpApiTest, FaultRulesComeAndGoAtRunTimeAndActOnTheNextRequest)
{
    Run({"--http", "127.0.0.1:0", "--fault", "exception=6 fc=6"});
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(modbus_write_register(client.context, 5, 77), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    httplib::Result first = http->Get("/api/v1/faults");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body, R"({"rules":[{"id":1,"rule":"exception=6 fc=6","matched":1,"count":1}]})");

    httplib::Result added = http->Post("/api/v1/faults", R"({"rule": " exception=4   fc=3 every=2"})", "application/json");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 201);
    EXPECT_EQ(added->body, R"({"id":2,"rule":"exception=4 fc=3 every=2","matched":0,"count":0})");
    ASSERT_TRUE(child.WaitForLine("Fault rule 2 added: exception=4 fc=3 every=2", kBound));

    uint16_t value = 0;
    EXPECT_EQ(modbus_read_registers(client.context, 0, 1, &value), 1);
    EXPECT_EQ(modbus_read_registers(client.context, 0, 1, &value), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    Json listed = Get("/api/v1/faults");
    ASSERT_EQ(listed["rules"].size(), 2u);
    EXPECT_EQ(listed["rules"][1]["matched"], 2);
    EXPECT_EQ(listed["rules"][1]["count"], 1);
    httplib::Result metrics = http->Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_NE(metrics->body.find("parvane_faults_total{action=\"exception\"} 2\n"), std::string::npos);
    EXPECT_NE(metrics->body.find("parvane_faults_total{action=\"delay\"} 0\n"), std::string::npos);

    const struct {
        const char* path;
        int status;
        std::string body;
    } deletes[] = {
        {"/api/v1/faults/1", 200, R"({"rules":[{"id":2,"rule":"exception=4 fc=3 every=2","matched":2,"count":1}]})"},
        {"/api/v1/faults/1", 404, R"({"error":"there is no fault rule with id 1"})"},
        {"/api/v1/faults/x", 400,
         R"({"error":"'x' is not a fault rule id: expected a number from 1 to 4294967295"})"},
        {"/api/v1/faults", 200, R"({"rules":[]})"},
    };
    for (const auto& c : deletes) {
        SCOPED_TRACE(c.path);
        httplib::Result result = http->Delete(c.path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        EXPECT_EQ(result->body, c.body);
    }
    EXPECT_EQ(modbus_write_register(client.context, 5, 77), 1);
}

}  // namespace
}  // namespace control_test
