#pragma once

#include <string>

// A capture: every byte that crosses a client connection, written into a pcap file as the TCP
// segments of that connection between its real addresses and ports, with its setup and teardown,
// so that Wireshark or tshark decodes the Modbus conversation as if it had been captured on the
// interface. The file is flushed after every response and every closed connection. Connections
// that were open before the capture started are left out.

// Creates (or replaces) the file at `path` and starts writing into it; false with *problem, a
// sentence naming the file and the reason, when it cannot be created or a capture already runs.
bool StartCapture(const std::string& path, std::string* problem);

// Ends the capture and closes its file; does nothing when none runs.
void StopCapture();

// True while a capture runs, with its file in *path.
bool IsCapturing(std::string* path);

// False in a build made without libpcap, where every StartCapture is refused.
bool CaptureAvailable();
