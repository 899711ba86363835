#pragma once

// What the control interface's tests share: parvane-cli run as a child process with the interface
// on a loopback port, an httplib client on it, and a libmodbus client on its Modbus port.

#include <gtest/gtest.h>
#include <httplib.h>
#include <modbus/modbus.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/socket.h"
#include "support/cli_program.h"
#include "support/child_process.h"

namespace control_test {

using Json = nlohmann::json;
using std::chrono::steady_clock;

inline constexpr Milliseconds kBound{10000};

inline std::string WriteTempFile(const std::string& name, const std::string& contents)
{
    std::string path = (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()))).string();
    FILE* file = std::fopen(path.c_str(), "w");
    std::fputs(contents.c_str(), file);
    std::fclose(file);
    return path;
}

// A libmodbus client on the server's port, unit 1, from 127.0.0.1 or the loopback `host` names.
struct ModbusClient {
    explicit ModbusClient(uint16_t port, const char* host = "127.0.0.1")
        : context(modbus_new_tcp_pi(host, std::to_string(port).c_str()))
    {
        modbus_set_slave(context, 1);
        connected = modbus_connect(context) == 0;
    }
    ~ModbusClient()
    {
        modbus_close(context);
        modbus_free(context);
    }
    // The client's end as the server shows peers: "127.0.0.1:40112" or "[::1]:40112".
    std::string Peer() const
    {
        sockaddr_storage local{};
        socklen_t size = sizeof local;
        getsockname(modbus_get_socket(context), reinterpret_cast<sockaddr*>(&local), &size);
        if (local.ss_family == AF_INET6) {
            const sockaddr_in6& ipv6 = reinterpret_cast<const sockaddr_in6&>(local);
            char text[INET6_ADDRSTRLEN] = {};
            inet_ntop(AF_INET6, &ipv6.sin6_addr, text, sizeof text);
            return "[" + std::string(text) + "]:" + std::to_string(ntohs(ipv6.sin6_port));
        }
        const sockaddr_in& ipv4 = reinterpret_cast<const sockaddr_in&>(local);
        return "127.0.0.1:" + std::to_string(ntohs(ipv4.sin_port));
    }
    modbus_t* context;
    bool connected;
};

// parvane-cli with the control interface on 127.0.0.1 (or as `extra` says), stopped by SIGTERM at
// the end of the test, which it must survive with exit status 0.
class HttpApiTest : public testing::Test {
protected:
    void Run(std::vector<std::string> extra = {"--http", "127.0.0.1:0"})
    {
        // Port 0: the system's choice, read back from the "Listening on" line, so that no other test
        // can take the port between a probe and the bind.
        std::vector<std::string> arguments = {"--port", "0", "--bind", "127.0.0.1"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(child.Start(CliPath(), arguments));
        std::optional<std::string> line = child.WaitForLine("HTTP control interface on ", kBound);
        ASSERT_TRUE(line) << child.Errors();
        // "HTTP control interface on 127.0.0.1:8502", or on "[::1]:8502".
        const std::string::size_type colon = line->rfind(':');
        httpPort = static_cast<uint16_t>(std::stoi(line->substr(colon + 1)));
        std::string host = line->substr(line->find(" on ") + 4, colon - line->find(" on ") - 4);
        if (host.front() == '[') {
            host = host.substr(1, host.size() - 2);
        }
        std::optional<std::string> listeningLine = child.WaitForLine("Listening on ", kBound);
        ASSERT_TRUE(listeningLine);
        listening = listeningLine->substr(listeningLine->find("Listening on "));
        modbusPort = static_cast<uint16_t>(std::stoi(listening.substr(listening.rfind(':') + 1)));
        http = std::make_unique<httplib::Client>(host, httpPort);
        http->set_read_timeout(40);
    }

    void TearDown() override
    {
        if (child.Pid() > 0) {
            child.Signal(SIGTERM);
            EXPECT_EQ(child.WaitForExit(kBound), 0) << child.Errors();
        }
    }

    Json Get(const std::string& path, int expectedStatus = 200)
    {
        httplib::Result result = http->Get(path.c_str());
        EXPECT_TRUE(result) << path;
        if (!result) {
            return Json();
        }
        EXPECT_EQ(result->status, expectedStatus) << path << " " << result->body;
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json") << path;
        return Json::parse(result->body, nullptr, false);
    }

    // Asks until `ready` holds (bounded): the client has its response a moment before the server
    // publishes the transaction.
    Json GetWhen(const std::string& path, const std::function<bool(const Json&)>& ready)
    {
        Json answer;
        for (auto end = steady_clock::now() + kBound; steady_clock::now() < end;) {
            answer = Get(path);
            if (ready(answer)) {
                break;
            }
            std::this_thread::sleep_for(Milliseconds(5));
        }
        return answer;
    }

    ChildProcess child;
    uint16_t modbusPort = 0;
    uint16_t httpPort = 0;
    std::string listening;   // the "Listening on ADDRESS:PORT" line's message
    std::unique_ptr<httplib::Client> http;
};

}  // namespace control_test
