#include "platform/standard_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

constexpr int kWsaEshutdown = 10058;

// The C library's text mode would end the lines of --help, --version and the refusals with "\r\n"
// while the log lines, written with WriteFile, end with "\n": binary mode from the start gives every
// line the program prints the same ending, the one the POSIX build prints, so that scripts reading
// either build see the same bytes.
const bool kStandardStreamsBinary =
    _setmode(_fileno(stdout), _O_BINARY) != -1 && _setmode(_fileno(stderr), _O_BINARY) != -1;

}  // namespace

int IgnoreBrokenPipe()
{
    // Windows never ends a process for writing to a pipe whose reader has gone: the write fails.
    return 0;
}

int WriteStandardOutput(const char* bytes, int count)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(output, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            DWORD error = GetLastError();
            // The reader has gone: the same number the POSIX build reports for it.
            if (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) {
                return kWsaEshutdown;
            }
            return static_cast<int>(error);
        }
        bytes += written;
        count -= static_cast<int>(written);
    }
    return 0;
}

void LeaveProcessNow(int status)
{
    // No exit handlers, no flush, and no wait for a thread stuck in a write.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    // TerminateProcess on the own process does not return; the compiler does not know that.
    ExitProcess(static_cast<UINT>(status));
}
