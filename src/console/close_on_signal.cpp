#include "console/close_on_signal.h"

#include <QTimer>
#include <QWidget>

#include "platform/stop_signals.h"

namespace {

constexpr int kSignalPollMilliseconds = 100;

}  // namespace

void CloseOnStopSignal(QWidget* window)
{
    auto* poll = new QTimer(window);
    QObject::connect(poll, &QTimer::timeout, window, [window] {
        if (WaitForStopSignal(0) != 0) {
            window->close();
        }
    });
    poll->start(kSignalPollMilliseconds);
}
