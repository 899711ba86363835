#include "console/close_on_signal.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <unistd.h>

namespace {

// The pipe between the signal handler and the window thread; written once before the handlers
// are installed.
int signalPipe[2] = {-1, -1};

void WriteSignalByte(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

}  // namespace

bool CloseOnTerminationSignal(QWidget* window)
{
    if (signalPipe[0] < 0 && pipe(signalPipe) != 0) {
        return false;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        [[maybe_unused]] const ssize_t taken = read(signalPipe[0], bytes, sizeof bytes);
        window->close();
    });
    struct sigaction action{};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
    return true;
}
