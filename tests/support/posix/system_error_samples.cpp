#include "support/system_error_samples.h"

#include <cerrno>

#include "platform/winsock_error.h"

// Errno values without a WinSock counterpart: their number and the C library's text.
const SystemErrorSample SystemErrorSamples[kSystemErrorSamples] = {
    {WinSockErrorFromErrno(EPROTO), "71 Protocol error", true},
    {WinSockErrorFromErrno(ENOENT), "2 No such file or directory", true},
};
