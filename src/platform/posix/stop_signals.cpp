#include "platform/stop_signals.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace {

sigset_t StopSignalSet()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // The terminal that started the program went away: stop in order rather than die mid-request.
    sigaddset(&signals, SIGHUP);
    return signals;
}

}  // namespace

int BlockStopSignals()
{
    sigset_t signals = StopSignalSet();
    return pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int WaitForStopSignal(int milliseconds)
{
    sigset_t signals = StopSignalSet();
    timespec timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    int received = sigtimedwait(&signals, nullptr, &timeout);
    return received > 0 ? received : 0;
}

const char* StopRequestNames()
{
    return "SIGINT, SIGTERM or SIGHUP";
}
