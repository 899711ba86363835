// Start-up and tear-down: the start-up failure messages, the window's two ways of closing (with
// and without its refresh thread), a server that cannot bind, and the real program's options,
// exit codes and orderly end with clients connected.
#include "console_fixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "console/console_application.h"

#ifndef PARVANE_BINARY
#error "PARVANE_BINARY must name the parvane program"
#endif

class ConsoleLifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void startupFailures_data();
    void startupFailures();
    void normalRunEndsWithZeroAfterTheServerStopped();
    void refreshThreadFailureIsLoggedAndClosingStillWorks();
    void portTakenStillOpensAndCloses();
    void refusedStateFileIsShownAndTheRunGoesOnWithDefaults();
    void programOptions_data();
    void programOptions();
    void programEndsInOrderOnTerminationWithClientsConnected();
};

namespace {

constexpr int kCycleWaitMs = 2000;

bool Fails()
{
    return false;
}

bool Succeeds()
{
    return true;
}

}  // namespace

void ConsoleLifecycleTest::startupFailures_data()
{
    QTest::addColumn<bool>("socketsStart");
    QTest::addColumn<bool>("eventCreated");
    QTest::addColumn<QString>("message");
    QTest::newRow("socket start-up fails") << false << true << QStringLiteral("WinSock startup failed");
    QTest::newRow("ExitEvent cannot be created") << true << false << QStringLiteral("Unable to create 'Exit' event object");
}

void ConsoleLifecycleTest::startupFailures()
{
    QFETCH(bool, socketsStart);
    QFETCH(bool, eventCreated);
    const StartupSteps steps{socketsStart ? Succeeds : Fails, eventCreated ? Succeeds : Fails};
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    int buttons = 0;
    bool windowOpened = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return;
        }
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    const int exitCode = RunConsole(ConsoleOptions{"127.0.0.1", FreeTcpPort(), {}}, steps,
                                    [&windowOpened](MainWindow*) { windowOpened = true; });
    QCOMPARE(exitCode, -1);
    QCOMPARE(caption, QStringLiteral("Parvane"));
    QTEST(text, "message");
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, 1);
    QVERIFY(!windowOpened);
}

void ConsoleLifecycleTest::normalRunEndsWithZeroAfterTheServerStopped()
{
    const uint16_t port = FreeTcpPort();
    QStringList messagesAtEnd;
    bool stoppedAtEnd = false;
    QString title;
    auto first = std::make_unique<TestClient>(port);
    auto second = std::make_unique<TestClient>(port);
    const int exitCode = RunConsole(ConsoleOptions{"127.0.0.1", port, {}}, SystemStartupSteps(), [&](MainWindow* window) {
        title = window->windowTitle();
        QObject::connect(window, &QDialog::finished, window, [&, window] {
            stoppedAtEnd = !IsServerRunning();
            auto* list = qobject_cast<QTreeWidget*>(window->Control(1011));
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                messagesAtEnd << list->topLevelItem(i)->text(1);
            }
        });
        // Once the server runs, two clients connect and are served; then the operator closes.
        auto* poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, window, [&, window, poll] {
            if (!IsServerRunning()) {
                return;
            }
            poll->stop();
            uint16_t value = 0;
            first->Connect();
            second->Connect();
            first->ReadRegisters(0, 1, &value);
            second->ReadRegisters(0, 1, &value);
            window->close();
        });
        poll->start(20);
    });
    QCOMPARE(exitCode, 0);
    QCOMPARE(title, QStringLiteral("Parvane - 127.0.0.1:%1").arg(port));   // where to point a client
    QVERIFY(stoppedAtEnd);
    QVERIFY2(messagesAtEnd.size() >= 5, qPrintable(messagesAtEnd.join('|')));
    QCOMPARE(messagesAtEnd.last(), QStringLiteral("Modbus Server stopped"));
    const QRegularExpression closed(QStringLiteral("^Socket \\d+ closed$"));
    QVERIFY(closed.match(messagesAtEnd.at(messagesAtEnd.size() - 2)).hasMatch());
    QVERIFY(closed.match(messagesAtEnd.at(messagesAtEnd.size() - 3)).hasMatch());
}

void ConsoleLifecycleTest::refreshThreadFailureIsLoggedAndClosingStillWorks()
{
    ConsoleFixture fixture;
    auto failingStart = [](RefreshThreadRun*) { return 11; };
    QVERIFY(fixture.SetUp(failingStart, 0, false));
    QCOMPARE(fixture.LogMessages(), QStringList{QStringLiteral("ERROR: Unable to create console refresh thread : 11")});
    QTest::qWait(300);
    QVERIFY(!IsServerRunning());   // the server was not started

    // The operator starts it by hand and then closes: the window still ends after the stop.
    QTest::mouseClick(fixture.window->Control(1002), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(IsServerRunning(), kCycleWaitMs);
    TestClient client(fixture.port);
    QVERIFY(client.Connect());
    uint16_t value = 0;
    QCOMPARE(client.ReadRegisters(0, 1, &value), 1);
    QVERIFY(fixture.CloseWindow());
    QVERIFY(!IsServerRunning());
    QCOMPARE(fixture.LogMessages().last(), QStringLiteral("Modbus Server stopped"));
    fixture.TearDown();
}

void ConsoleLifecycleTest::portTakenStillOpensAndCloses()
{
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    ConsoleFixture fixture;
    QVERIFY(fixture.SetUp(StartRefreshThread, squatter.serverPort()));
    QCOMPARE(fixture.LogMessages().value(0),
             QStringLiteral("ERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use"));
    QTest::qWait(3 * kRefreshPeriodMilliseconds);
    QCOMPARE(fixture.Text(1002), QStringLiteral("&Start Server"));
    QVERIFY(!IsServerRunning());
    QVERIFY(fixture.CloseWindow());
    fixture.TearDown();
}

// --load with a file that breaks a rule late (its first run is good), --port 0 and --save: the box
// names the file and the rule, the server serves the defaults on the port the title shows, and the
// state saved at the end is a fresh server's.
void ConsoleLifecycleTest::refusedStateFileIsShownAndTheRunGoesOnWithDefaults()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const std::string loadFile = folder.filePath(QStringLiteral("state.json")).toStdString();
    const std::string saveFile = folder.filePath(QStringLiteral("saved.json")).toStdString();
    QFile bad(QString::fromStdString(loadFile));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(R"({"format": "parvane-state", "version": 1, "config": {"disabledFunctions": [3]},
                 "registers": [{"start": 0, "values": [5]}, {"start": 1, "values": [70000]}]})");
    bad.close();
    ConsoleOptions options{"127.0.0.1", 0, {}};
    options.control.loadFile = loadFile;
    options.control.saveFile = saveFile;

    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool boxBeforeWindow = false;
    bool windowOpened = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return;
        }
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        boxBeforeWindow = !windowOpened;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QString title;
    uint16_t port = 0;
    int answered = -1;
    uint16_t value = 1;
    const int exitCode = RunConsole(options, SystemStartupSteps(), [&](MainWindow* window) {
        windowOpened = true;
        title = window->windowTitle();
        port = ListeningPort();
        auto* poll = new QTimer(window);
        QObject::connect(poll, &QTimer::timeout, window, [&, window, poll] {
            if (!IsServerRunning()) {
                return;
            }
            poll->stop();
            TestClient client(port);
            answered = client.Connect() ? client.ReadRegisters(0, 1, &value) : -1;
            window->close();
        });
        poll->start(20);
    });
    QCOMPARE(exitCode, 0);
    QCOMPARE(caption, QStringLiteral("Parvane"));
    QCOMPARE(text, QString::fromStdString(loadFile + ": registers[1].values[0]: 70000 is not in 0..65535"));
    QCOMPARE(icon, QMessageBox::Warning);
    QVERIFY(boxBeforeWindow);
    QVERIFY(port != 0);
    QCOMPARE(title, QStringLiteral("Parvane - 127.0.0.1:%1").arg(port));
    QCOMPARE(answered, 1);   // code 3 stayed enabled
    QCOMPARE(value, uint16_t{0});
    QFile saved(QString::fromStdString(saveFile));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonDocument state = QJsonDocument::fromJson(saved.readAll());
    QCOMPARE(state[QStringLiteral("registers")].toArray().size(), 0);
    QCOMPARE(state[QStringLiteral("config")][QStringLiteral("disabledFunctions")].toArray().size(), 0);
}

void ConsoleLifecycleTest::programOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("standardOutput");
    QTest::addColumn<QString>("standardError");
    QTest::newRow("version") << QStringList{"--version"} << 0 << "parvane 1.0\nLicensed under the MIT License.\n" << "";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: parvane [--port N] [--bind ADDRESS]" << "";
    QTest::newRow("unknown option") << QStringList{"--verbose"} << 2 << "" << "parvane: unknown option '--verbose'";
    QTest::newRow("port out of range") << QStringList{"--port", "70000"} << 2 << "" << "parvane: invalid port '70000'";
    QTest::newRow("bad address") << QStringList{"--bind", "1.2.3"} << 2 << "" << "parvane: invalid address '1.2.3'";
    QTest::newRow("port without value") << QStringList{"--port"} << 2 << "" << "needs a value";
    QTest::newRow("standard limits with a state file")
        << QStringList{"--standard-limits", "--load", "state.json"} << 2 << ""
        << "parvane: --load takes the limits from its file";
}

void ConsoleLifecycleTest::programOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, standardOutput);
    QFETCH(QString, standardError);
    QProcess program;
    program.start(QStringLiteral(PARVANE_BINARY), arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QTEST(program.exitCode(), "exitCode");
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    if (standardOutput.isEmpty()) {
        QCOMPARE(out, QString());
    } else if (standardOutput.endsWith('\n')) {
        QCOMPARE(out, standardOutput);
    } else {
        QVERIFY2(out.contains(standardOutput), qPrintable(out));
    }
    if (!standardError.isEmpty()) {
        QVERIFY2(err.contains(standardError), qPrintable(err));
    }
}

void ConsoleLifecycleTest::programEndsInOrderOnTerminationWithClientsConnected()
{
    const uint16_t port = FreeTcpPort();
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PARVANE_BINARY),
                  {QStringLiteral("--port"), QString::number(port), QStringLiteral("--bind"), QStringLiteral("127.0.0.1")});
    QVERIFY(program.waitForStarted(10000));

    // Ready when a client gets an answer; bounded by attempts, not by a fixed sleep.
    TestClient first(port);
    bool ready = false;
    for (int attempt = 0; attempt < 200 && !ready; ++attempt) {
        uint16_t value = 0;
        ready = first.Connect() && first.ReadRegisters(0, 1, &value) == 1;
        if (!ready) {
            first.Close();
            QTest::qWait(50);
        }
    }
    QVERIFY(ready);
    TestClient second(port);
    QVERIFY(second.Connect());
    uint16_t value = 0;
    QCOMPARE(second.ReadRegisters(0, 1, &value), 1);

    program.terminate();   // the close request from outside: SIGTERM
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // Both connections were ended by the server before it went.
    QCOMPARE(first.ReadRegisters(0, 1, &value), -1);
    QCOMPARE(second.ReadRegisters(0, 1, &value), -1);
}

QTEST_MAIN(ConsoleLifecycleTest)
#include "test_console_lifecycle.moc"
