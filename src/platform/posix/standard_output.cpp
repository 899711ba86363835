#include "platform/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/winsock_error.h"

int IgnoreBrokenPipe()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    return sigaction(SIGPIPE, &ignore, nullptr) == 0 ? 0 : WinSockErrorFromErrno(errno);
}

int WriteStandardOutput(const char* bytes, int count)
{
    while (count > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, static_cast<size_t>(count));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WinSockErrorFromErrno(errno);
        }
        bytes += written;
        count -= static_cast<int>(written);
    }
    return 0;
}

void LeaveProcessNow(int status)
{
    _exit(status);
}
