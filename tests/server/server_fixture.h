#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "log/capturing_log_target.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "server/test_client.h"
#include "support/core_state.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

// The whole server in this process, listening on 127.0.0.1 on a free port, its log captured.
class ServerTest : public testing::Test {
protected:
    static constexpr int kStopBoundMilliseconds = 15000;

    void SetUp() override
    {
        SetLogTarget(&log);
        ResetServedData();
        InitSlotTable();
        InitServerControl("127.0.0.1", 0);
        if (startInSetUp) {
            Start();
        }
    }

    void TearDown() override
    {
        StopServer();
        EXPECT_TRUE(WaitServerStoppedFor(kStopBoundMilliseconds));
        DestroyServerControl();
        DestroySlotTable();
        DestroyDataTables();
        SetLogTarget(nullptr);
    }

    void Start()
    {
        StartServer();
        ASSERT_TRUE(IsServerRunning());
        // The start's last line: nothing of the start is logged after it.
        ASSERT_TRUE(log.WaitFor("Listening on 127.0.0.1:", 5000, true));
        port = ListeningPort();
        ASSERT_NE(port, 0);
    }

    // Stops and waits (bounded); true when the server stopped in time.
    bool StopAndWait()
    {
        StopServer();
        return WaitServerStoppedFor(kStopBoundMilliseconds);
    }

    void Connect(TestClient& client, int receiveBufferBytes = 0)
    {
        ASSERT_TRUE(client.Connect(port, receiveBufferBytes));
        ASSERT_GE(client.ServerSocket(log), 0);
    }

    // Waits (bounded) until the slot has published `transactions` transactions: the client gets its
    // response a moment before the server records it.
    bool WaitForTransactions(int slotNumber, uint32_t transactions)
    {
        for (int attempt = 0; attempt < 5000; ++attempt) {
            SlotSnapshot snapshot;
            SnapshotSlot(slotNumber, &snapshot);
            if (snapshot.acceptedRequests + snapshot.rejectedRequests >= transactions) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    std::string Closed(int socket) { return "Socket " + std::to_string(socket) + " closed"; }

    bool HasAbnormalEnd()
    {
        for (const std::string& message : log.Messages()) {
            if (message.rfind("ERROR: Listen thread terminated abnormally", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    CapturingLogTarget log;
    uint16_t port = 0;
    bool startInSetUp = true;
};
