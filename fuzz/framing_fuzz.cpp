// libFuzzer target for the Modbus/TCP framing: the input is a byte stream that reaches the
// server's receive path (the receive buffer and the header check) split into segments at points the input also
// chooses, through a socket pair, and every request it frames goes through the request engine
// and back out as a response, as on a client thread.
//
// Input: two bytes that seed the segment sizes, then the stream (a seed file that is a bare stream
// still works: its first two bytes choose the segments). Besides the sanitizers' checks,
// the target knows what the server must do with the stream: answer each whole request once and
// in order, with its own transaction and unit identifiers, and end the connection with the one
// line the first bad header (or the end of the stream) calls for.

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "log/event_log.h"
#include "modbus/build_response.h"
#include "modbus/decode_request.h"
#include "modbus/execute_request.h"
#include "platform/kick_event.h"
#include "platform/socket.h"
#include "support/test_sockets.h"
#include "server/mbap_framing.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

class LastLine : public LogTarget {
public:
    void TakeMessage(const char* message) override
    {
        last = message;
        if (std::strncmp(message, "ERROR", 5) == 0) {
            ++errors;
        }
    }
    std::string last;
    int errors = 0;
};

LastLine Log;
KickEvent Kick;   // never set: the connection ends only by the stream's content or its end
RequestRecord Record;

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "framing fault: %s (last log line: %s)\n", what, Log.last.c_str());
        std::abort();
    }
}

struct Expectation {
    std::vector<size_t> requestStarts;   // where each whole, well-framed request begins
    std::string ending;                  // the line that ends the connection, %hu filled later
};

Expectation FrameLikeTheServer(const uint8_t* stream, size_t size)
{
    Expectation expected;
    size_t at = 0;
    for (;;) {
        if (size - at < 7) {
            expected.ending = "Client on socket %hu disconnected";
            return expected;
        }
        if (stream[at + 2] != 0 || stream[at + 3] != 0) {
            expected.ending = "The request from client on socket %hu had invalid Protocol ID";
            return expected;
        }
        size_t length = (static_cast<size_t>(stream[at + 4]) << 8) | stream[at + 5];
        if (length < 2 || length > 254) {
            expected.ending = "The request from client on socket %hu had invalid Command Length";
            return expected;
        }
        if (size - at < 6 + length) {
            expected.ending = "Client on socket %hu disconnected";
            return expected;
        }
        expected.requestStarts.push_back(at);
        at += 6 + length;
    }
}

// Writes the stream in segments, each one only after the server side has taken all of the last,
// so that the receive path really meets every split point; collects the responses meanwhile.
void FeedSegments(int feeder, int server, const uint8_t* stream, size_t size, uint32_t seed,
                  const std::atomic<bool>* serverDone, std::vector<uint8_t>* responses)
{
    auto drain = [&] {
        uint8_t buffer[4096];
        for (;;) {
            ssize_t got = recv(feeder, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) {
                return got;
            }
            responses->insert(responses->end(), buffer, buffer + got);
        }
    };
    size_t at = 0;
    while (at < size && !serverDone->load()) {
        seed = seed * 1103515245u + 12345u;
        size_t segment = (seed >> 16) % 64 == 0 ? 1 + (seed >> 8) % 300 : 1 + (seed >> 16) % 9;
        segment = segment > size - at ? size - at : segment;
        if (send(feeder, stream + at, segment, MSG_NOSIGNAL) < 0) {
            break;
        }
        at += segment;
        int unread = 1;
        while (!serverDone->load() && ioctl(server, FIONREAD, &unread) == 0 && unread > 0) {
            drain();
            sched_yield();
        }
    }
    shutdown(feeder, SHUT_WR);
    // Until the server side shuts its end: every response is in then.
    for (;;) {
        uint8_t buffer[4096];
        ssize_t got = recv(feeder, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        responses->insert(responses->end(), buffer, buffer + got);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetLogTarget(&Log);
    InitRegisterTable();
    InitCoilTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    uint32_t seed = (static_cast<uint32_t>(data[0]) << 8) | data[1];
    const uint8_t* stream = data + 2;
    size_t streamSize = size - 2;
    Expectation expected = FrameLikeTheServer(stream, streamSize);

    SocketHandle ends[2];
    Require(CreateStreamSocketPair(ends) == 0, "no socket pair");
    int server = ends[0];
    std::atomic<bool> serverDone{false};
    std::vector<uint8_t> responses;
    std::thread feeder(FeedSegments, ends[1], server, stream, streamSize, seed, &serverDone, &responses);

    // The client thread's loop, minus the slot bookkeeping.
    Log.last.clear();
    Log.errors = 0;
    uint8_t adu[kAduCapacity] = {};
    ReceiveBuffer received = {};
    size_t answered = 0;
    for (;;) {
        uint16_t length = ReceiveAdu(server, &received, adu, &Kick);
        if (length == 0) {
            break;
        }
        Require(length >= kMinRequestLength && length <= kAduCapacity, "a framed request outside 8..260 bytes");
        Require(adu[2] == 0 && adu[3] == 0, "a framed request with a protocol identifier other than 0");
        Require(((adu[4] << 8) | adu[5]) == length - 6, "a framed request whose length field is not its length");
        Require(answered < expected.requestStarts.size(), "a request was framed where none is whole");
        size_t start = expected.requestStarts[answered];
        Require(std::memcmp(adu, stream + start, length) == 0, "the framed request differs from the bytes sent");
        Require(length == 6 + ((stream[start + 4] << 8) | stream[start + 5]), "the request length is not 6 + its field");
        ExceptionCode code = DecodeRequest(adu, length, &Record);
        if (code == kNoException) {
            code = ExecuteRequest(&Record);
        }
        uint16_t responseLength =
            code == kNoException ? BuildResponse(&Record, adu) : BuildExceptionResponse(code, Record.functionCode, adu);
        Require(responseLength >= 9 && responseLength <= kAduCapacity, "response length out of 9..260");
        if (SendResponse(server, adu, responseLength) == 0) {
            break;
        }
        ++answered;
    }
    serverDone = true;
    shutdown(server, SHUT_RDWR);
    feeder.join();
    close(ends[1]);
    close(server);

    Require(answered == expected.requestStarts.size(), "not every whole request was answered");
    char ending[128];
    std::snprintf(ending, sizeof ending, expected.ending.c_str(), static_cast<unsigned short>(server));
    Require(Log.last == ending, "the connection did not end with the line its bytes call for");
    Require(Log.errors == 0, "an error was logged");
    // The responses, in order, each carrying its request's identifiers and a true length field.
    size_t at = 0;
    for (size_t i = 0; i < answered; ++i) {
        const uint8_t* request = stream + expected.requestStarts[i];
        Require(responses.size() - at >= 9, "a response is missing or short");
        const uint8_t* response = responses.data() + at;
        size_t total = 6 + ((static_cast<size_t>(response[4]) << 8) | response[5]);
        Require(total >= 9 && total <= kAduCapacity && responses.size() - at >= total, "a response's length field is wrong");
        Require(std::memcmp(response, request, 4) == 0 && response[6] == request[6],
                "a response does not carry its request's identifiers");
        Require(response[7] == request[7] || response[7] == (request[7] | 0x80), "a response names another function");
        at += total;
    }
    Require(at == responses.size(), "bytes were sent beyond the responses");
    return 0;
}
