#pragma once

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "support/test_sockets.h"

// A connected TCP pair over 127.0.0.1 on a free port: `client` from ConnectTcp, `server` from accept.
struct LoopbackPair {
    SocketHandle listener = kNoSocket;
    SocketHandle client = kNoSocket;
    SocketHandle server = kNoSocket;
    Ipv4Peer peer{};

    // Options that must be in place before the connection exists (such as a small receive
    // buffer) go on the client socket through `prepareClient`.
    void Open()
    {
        int error = 0;
        listener = CreateTcpSocket(&error);
        ASSERT_NE(listener, kNoSocket) << error;
        ASSERT_EQ(BindSocket(listener, "127.0.0.1", 0), 0);
        ASSERT_EQ(ListenOnSocket(listener), 0);
        uint16_t port = 0;
        ASSERT_EQ(LocalPort(listener, &port), 0);
        client = ConnectTcp("127.0.0.1", port, &error);
        ASSERT_NE(client, kNoSocket) << error;
        server = AcceptConnection(listener, &peer, &error);
        ASSERT_NE(server, kNoSocket) << error;
    }

    ~LoopbackPair()
    {
        for (SocketHandle socket : {listener, client, server}) {
            if (socket != kNoSocket) {
                CloseSocket(socket);
            }
        }
    }
};
