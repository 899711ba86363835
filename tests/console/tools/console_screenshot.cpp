// Takes a screenshot of the console (not part of Parvane): runs the console as the program does on
// a free loopback port, starts modbus_demo_client against it, waits until its requests show in
// the window, shows the client's float32 CDAB values, saves the window as a PNG and closes it. Bounded to 30 seconds.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>

#include <cstdio>

#include "console/console_application.h"
#include "console/console_resources.h"
#include "console/main_window.h"
#include "server/server_control.h"
#include "server/slot_table.h"

namespace {

constexpr int kFormatList = 1260;
constexpr int kOrderList = 1261;

int BusySlots(uint32_t* requestsInFirst)
{
    int busy = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        SlotSnapshot snapshot;
        SnapshotSlot(i, &snapshot);
        if (snapshot.clientSocket != kNoSocket) {
            ++busy;
        }
        if (i == 0) {
            *requestsInFirst = snapshot.acceptedRequests + snapshot.rejectedRequests;
        }
    }
    return busy;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: console_screenshot OUTPUT.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(ParvaneIcon());
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString client = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() + "/modbus_demo_client";

    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const uint16_t port = probe.serverPort();
    probe.close();

    QProcess clientProcess;
    bool saved = false;
    QElapsedTimer sinceStart;
    sinceStart.start();
    const int exitCode = RunConsole(ConsoleOptions{"127.0.0.1", port, {}}, SystemStartupSteps(), [&](MainWindow* window) {
        auto* poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, window, [&, window, poll] {
            uint32_t requests = 0;
            if (sinceStart.elapsed() > 30000) {
                poll->stop();
                window->close();
            } else if (IsServerRunning() && clientProcess.state() == QProcess::NotRunning && !saved) {
                clientProcess.start(client, {QString::number(port), QStringLiteral("20")});
            } else if (BusySlots(&requests) == 3 && requests >= 5 && !saved) {
                // The client's float32 CDAB values, as the operator would choose to see them.
                auto* formatList = qobject_cast<QComboBox*>(window->Control(kFormatList));
                auto* orderList = qobject_cast<QComboBox*>(window->Control(kOrderList));
                formatList->setCurrentIndex(formatList->findText(QStringLiteral("float32")));
                orderList->setCurrentIndex(orderList->findText(QStringLiteral("CDAB")));
                window->SetViewPosition(10);
                // Three refresh cycles later the window shows all of it.
                poll->stop();
                QTimer::singleShot(3 * kRefreshPeriodMilliseconds, window, [&, window] {
                    saved = window->grab().save(output);
                    window->close();
                });
            }
        });
        poll->start(50);
    });
    clientProcess.kill();
    clientProcess.waitForFinished(5000);
    if (!saved) {
        std::fprintf(stderr, "console_screenshot: no screenshot taken\n");
        return 1;
    }
    std::printf("Saved %s\n", qPrintable(output));
    return exitCode;
}
