#include "platform/winsock_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct ErrnoPair {
    int errnoValue;
    int winSockNumber;
};

// Every errno with a counterpart among the WinSock error texts. Where two errno values mean the
// same to a socket user (EAGAIN and EWOULDBLOCK, ENOTSUP and EOPNOTSUPP share a value on Linux),
// one row serves both.
constexpr ErrnoPair kErrnoToWinSock[] = {
    {EINTR, 10004},           {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},           {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},          {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},     {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},      {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},      {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {EPIPE, 10058},           {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},          {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

int WinSockErrorFromErrno(int errnoValue)
{
    for (const ErrnoPair& pair : kErrnoToWinSock) {
        if (pair.errnoValue == errnoValue) {
            return pair.winSockNumber;
        }
    }
    return -errnoValue;
}

void SystemErrorText(int number, char* text, int textSize)
{
    if (textSize <= 0) {
        return;
    }
    text[0] = '\0';
    // Linux keeps its errno values below 4096 (the kernel's MAX_ERRNO); nothing else is negated.
    constexpr int kLargestErrno = 4095;
    if (number >= 0 || number < -kLargestErrno) {
        return;
    }
    int errnoValue = -number;
    char description[128];
    // The GNU strerror_r: answers a pointer to the text, which may or may not be `description`.
    const char* words = strerror_r(errnoValue, description, sizeof description);
    std::snprintf(text, static_cast<size_t>(textSize), "%d %s", errnoValue, words);
}

int AcceptErrorFromErrno(int errnoValue)
{
    switch (errnoValue) {
    // accept(2): "Linux accept() passes already-pending network errors on the new socket as an
    // error code from accept()"; the connection is gone, the listening socket is fine. EPERM is a
    // firewall rule refusing the connection.
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EAGAIN:
    case EPERM:
        return kWsaEconnrefused;
    default:
        return WinSockErrorFromErrno(errnoValue);
    }
}
