#include "capture/capture_file.h"

#include <pcap/pcap.h>

#include <chrono>
#include <cstdint>
#include <mutex>

#include "capture/tcp_segment.h"
#include "log/event_log.h"
#include "server/slot_table.h"
#include "server/wire_observer.h"

namespace {

// Large enough for any packet this writer builds; the file's snapshot length.
constexpr int kSnapshotLength = 65535;
// A connection's first sequence numbers. Any value serves a decoder, which shows them relative.
constexpr uint32_t kClientFirstSequence = 0x10000000;
constexpr uint32_t kServerFirstSequence = 0x20000000;

// One connection as the file shows it: its ends and the next sequence number of each direction.
struct CapturedConnection {
    SocketHandle socket;   // kNoSocket: the entry is free
    SocketAddress client;
    SocketAddress server;
    uint32_t clientNext;
    uint32_t serverNext;
    bool clientClosed;
};

// CaptureLock guards everything below it: the open file, the connections it follows, and the
// packet being built. A connection is bound to a slot from opened to closed, so there are never
// more of them than slots.
std::mutex CaptureLock;
pcap_t* DeadHandle = nullptr;
pcap_dumper_t* Dumper = nullptr;
std::string CapturePath;
CapturedConnection Connections[kSlotCount];
uint8_t Packet[kMaxPacketSize];

void ForgetConnections()
{
    for (CapturedConnection& connection : Connections) {
        connection.socket = kNoSocket;
    }
}

CapturedConnection* FindConnection(SocketHandle socket)
{
    if (Dumper == nullptr) {
        return nullptr;
    }
    for (CapturedConnection& connection : Connections) {
        if (connection.socket == socket) {
            return &connection;
        }
    }
    return nullptr;
}

void WritePacket(int length)
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count();
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(micros / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    header.caplen = static_cast<bpf_u_int32>(length);
    header.len = static_cast<bpf_u_int32>(length);
    pcap_dump(reinterpret_cast<u_char*>(Dumper), &header, Packet);
}

// One segment in the direction given by `fromClient`; its sequence and acknowledgement numbers come
// from the connection, and its payload and any FIN advance the sender's next number.
void WriteSegment(CapturedConnection* connection, bool fromClient, uint8_t flags, const uint8_t* payload, int count)
{
    uint32_t* senderNext = fromClient ? &connection->clientNext : &connection->serverNext;
    const uint32_t receiverNext = fromClient ? connection->serverNext : connection->clientNext;
    const TcpSegmentFields fields{*senderNext, receiverNext, flags};
    const SocketAddress& from = fromClient ? connection->client : connection->server;
    const SocketAddress& to = fromClient ? connection->server : connection->client;
    WritePacket(BuildTcpPacket(from, to, fields, payload, count, Packet));
    *senderNext += static_cast<uint32_t>(count) + ((flags & (kTcpSyn | kTcpFin)) != 0 ? 1 : 0);
}

void WriteData(CapturedConnection* connection, bool fromClient, const uint8_t* bytes, int count)
{
    for (int done = 0; done < count; done += kMaxSegmentPayload) {
        const int piece = count - done < kMaxSegmentPayload ? count - done : kMaxSegmentPayload;
        WriteSegment(connection, fromClient, kTcpPush | kTcpAck, bytes + done, piece);
    }
}

// After a response or a closed connection, so that a crash loses at most the transaction in flight.
// A file that can no longer be written ends the capture; false then, with the reason.
bool FlushCapture(std::string* reason)
{
    if (pcap_dump_flush(Dumper) == 0) {
        return true;
    }
    *reason = pcap_geterr(DeadHandle);
    pcap_dump_close(Dumper);
    pcap_close(DeadHandle);
    Dumper = nullptr;
    DeadHandle = nullptr;
    SetWireObserver(nullptr);
    return false;
}

void ReportFailedFlush(const std::string& path, const std::string& reason)
{
    LogEvent("ERROR: Capture to %s ended: the file cannot be written (%s)", path.c_str(), reason.c_str());
}

void CaptureOpened(SocketHandle socket, const SocketAddress& local, const SocketAddress& peer)
{
    std::lock_guard<std::mutex> hold(CaptureLock);
    if (Dumper == nullptr) {
        return;
    }
    for (CapturedConnection& connection : Connections) {
        if (connection.socket == kNoSocket) {
            connection = CapturedConnection{socket, peer, local, kClientFirstSequence, kServerFirstSequence, false};
            WriteSegment(&connection, true, kTcpSyn, nullptr, 0);
            WriteSegment(&connection, false, kTcpSyn | kTcpAck, nullptr, 0);
            WriteSegment(&connection, true, kTcpAck, nullptr, 0);
            return;
        }
    }
}

void CaptureReceived(SocketHandle socket, const uint8_t* bytes, int count)
{
    std::lock_guard<std::mutex> hold(CaptureLock);
    if (CapturedConnection* connection = FindConnection(socket)) {
        WriteData(connection, true, bytes, count);
    }
}

// Runs `write` on the socket's connection under CaptureLock, then flushes the file unless `write`
// answered false; a failed flush is reported once the lock is released.
template <typename Write>
void WriteThenFlush(SocketHandle socket, Write write)
{
    std::string path;
    std::string reason;
    {
        std::lock_guard<std::mutex> hold(CaptureLock);
        CapturedConnection* connection = FindConnection(socket);
        if (connection == nullptr || !write(connection) || FlushCapture(&reason)) {
            return;
        }
        path = CapturePath;
    }
    ReportFailedFlush(path, reason);
}

// One side's FIN and the other side's ACK of it.
void WriteFin(CapturedConnection* connection, bool fromClient)
{
    WriteSegment(connection, fromClient, kTcpFin | kTcpAck, nullptr, 0);
    WriteSegment(connection, !fromClient, kTcpAck, nullptr, 0);
}

void CaptureSent(SocketHandle socket, const uint8_t* bytes, int count)
{
    WriteThenFlush(socket, [&](CapturedConnection* connection) {
        WriteData(connection, false, bytes, count);
        return true;
    });
}

// The client's FIN and the server's ACK of it, flushed with the next response or close; or, when
// the server closes, its FIN and the rest of the four-way close, the client's FIN too unless it
// came first.
void CaptureClosed(SocketHandle socket, WireCloser closer)
{
    WriteThenFlush(socket, [&](CapturedConnection* connection) {
        if (closer == WireCloser::kClient) {
            WriteFin(connection, true);
            connection->clientClosed = true;
            return false;
        }
        WriteFin(connection, false);
        if (!connection->clientClosed) {
            WriteFin(connection, true);
        }
        connection->socket = kNoSocket;
        return true;
    });
}

constexpr WireObserver kCaptureObserver{CaptureOpened, CaptureReceived, CaptureSent, CaptureClosed};

}  // namespace

bool StartCapture(const std::string& path, std::string* problem)
{
    // libpcap would take "-" as standard output, where parvane-cli writes its log.
    if (path == "-") {
        *problem = "cannot create capture file: '-' is not a file name (standard output holds the log)";
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(CaptureLock);
        if (Dumper != nullptr) {
            *problem = "a capture to " + CapturePath + " is already running";
            return false;
        }
        // Raw IP packets: the file needs no link layer, and both families fit one link type.
        DeadHandle = pcap_open_dead(DLT_RAW, kSnapshotLength);
        if (DeadHandle == nullptr) {
            *problem = "cannot create capture file " + path + ": libpcap has no room";
            return false;
        }
        Dumper = pcap_dump_open(DeadHandle, path.c_str());
        if (Dumper == nullptr) {
            // libpcap's text names the file and the system's reason.
            *problem = std::string("cannot create capture file: ") + pcap_geterr(DeadHandle);
            pcap_close(DeadHandle);
            DeadHandle = nullptr;
            return false;
        }
        CapturePath = path;
        ForgetConnections();
        SetWireObserver(&kCaptureObserver);
    }
    LogEvent("Capturing to %s", path.c_str());
    return true;
}

void StopCapture()
{
    std::string path;
    {
        std::lock_guard<std::mutex> hold(CaptureLock);
        if (Dumper == nullptr) {
            return;
        }
        SetWireObserver(nullptr);
        pcap_dump_close(Dumper);
        pcap_close(DeadHandle);
        Dumper = nullptr;
        DeadHandle = nullptr;
        ForgetConnections();
        path = CapturePath;
    }
    LogEvent("Capture to %s ended", path.c_str());
}

bool IsCapturing(std::string* path)
{
    std::lock_guard<std::mutex> hold(CaptureLock);
    if (Dumper == nullptr) {
        return false;
    }
    *path = CapturePath;
    return true;
}

bool CaptureAvailable()
{
    return true;
}
