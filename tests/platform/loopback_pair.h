#pragma once

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "support/test_sockets.h"

// A connected TCP pair over 127.0.0.1 on a free port: `client` from ConnectTcp, `server` from accept.
struct LoopbackPair {
    SocketHandle listener = kNoSocket;
    SocketHandle client = kNoSocket;
    SocketHandle server = kNoSocket;
    SocketAddress peer{};

    // Options that must be in place before the connection exists (such as a small receive
    // buffer) go on the client socket through `prepareClient`.
    // The listener may be bound elsewhere on loopback (::1, or :: for both families) and the client
    // come from either family.
    void Open(const char* listenAddress = "127.0.0.1", const char* clientAddress = "127.0.0.1")
    {
        int error = 0;
        AddressFamily family = AddressFamily::kIpv4;
        ASSERT_TRUE(AddressFamilyOf(listenAddress, &family));
        listener = CreateTcpSocket(&error, family);
        ASSERT_NE(listener, kNoSocket) << error;
        ASSERT_EQ(BindSocket(listener, listenAddress, 0), 0);
        ASSERT_EQ(ListenOnSocket(listener), 0);
        uint16_t port = 0;
        ASSERT_EQ(LocalPort(listener, &port), 0);
        client = ConnectTcp(clientAddress, port, &error);
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
