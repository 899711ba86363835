// The console's pure logic: connection statistics, hex dumps, the Edit Values and Configure
// readings, the grid's view position and the command line.
#include <QtTest>

#include <cstring>
#include <utility>

#include "console/command_line.h"
#include "server/connection_statistics.h"
#include "console/data_area_settings.h"
#include "console/dialog_number.h"
#include "console/edit_value_text.h"
#include "console/hex_dump.h"
#include "console/refresh_texts.h"
#include "console/view_position.h"
#include "tables/address_window.h"

class ConsoleLogicTest : public QObject {
    Q_OBJECT

private slots:
    void statistics_data();
    void statistics();
    void statisticsSurviveTickWrap();
    void byteCountersPast32Bits();
    void hexDump_data();
    void hexDump();
    void hexDumpOfLargestAdu();
    void editValues_data();
    void editValues();
    void editValuesInAFormat_data();
    void editValuesInAFormat();
    void dialogNumber_data();
    void dialogNumber();
    void dataAreaChecks_data();
    void dataAreaChecks();
    void scrollPosition_data();
    void scrollPosition();
    void scrollRequests_data();
    void scrollRequests();
    void gridCell_data();
    void gridCell();
    void commandLine_data();
    void commandLine();
    void monitorRowsShowBusySlotsOnly();
    void monitorEmptiesStatisticsOfAFreeViewedSlot();
    void monitorOfASlotWithoutTransactions();
    void gridTextsAtTheEndOfTheTable();
    void gridTextsOfAFourRegisterFormat();
    void captionChangesOnlyOnTransitions();
};

namespace {

SlotSnapshot Snapshot(uint32_t connectTick, uint32_t lastActivityTick, uint32_t accepted, uint32_t rejected,
                      uint64_t received, uint64_t transmitted)
{
    SlotSnapshot snapshot{};
    snapshot.clientSocket = 7;
    snapshot.connectTick = connectTick;
    snapshot.lastActivityTick = lastActivityTick;
    snapshot.acceptedRequests = accepted;
    snapshot.rejectedRequests = rejected;
    snapshot.bytesReceived = received;
    snapshot.bytesTransmitted = transmitted;
    return snapshot;
}

}  // namespace

void ConsoleLogicTest::statistics_data()
{
    QTest::addColumn<uint>("connectMs");
    QTest::addColumn<uint>("idleMs");
    QTest::addColumn<uint>("accepted");
    QTest::addColumn<uint>("rejected");
    QTest::addColumn<quint64>("received");
    QTest::addColumn<uint>("requestsPerSecond");
    QTest::addColumn<uint>("connectMinutes");
    QTest::addColumn<uint>("idleSeconds");
    QTest::addColumn<uint>("receivedPerSecond");

    // 400 ms counts one second: the rates are divided by 1, never by 0.
    QTest::newRow("400 ms is 0 minutes, rates over 1 s") << 400u << 400u << 3u << 0u << quint64(36) << 3u << 0u << 0u << 36u;
    QTest::newRow("1,499 ms rounds to 1 s") << 1499u << 0u << 4u << 0u << quint64(48) << 4u << 0u << 0u << 48u;
    QTest::newRow("1,500 ms rounds up to 2 s") << 1500u << 0u << 4u << 0u << quint64(48) << 2u << 0u << 0u << 24u;
    QTest::newRow("59,499 ms is 0 minutes") << 59499u << 0u << 0u << 0u << quint64(0) << 0u << 0u << 0u << 0u;
    QTest::newRow("59,500 ms is 1 minute") << 59500u << 0u << 0u << 0u << quint64(0) << 0u << 1u << 0u << 0u;
    // 10 requests, 3 rejected, over 4,600 ms (5 s): 2 per second.
    QTest::newRow("10 requests over 4,600 ms") << 4600u << 100u << 7u << 3u << quint64(120) << 2u << 0u << 0u << 24u;
    QTest::newRow("idle 499 ms shows 0") << 10000u << 499u << 1u << 0u << quint64(12) << 0u << 0u << 0u << 1u;
    QTest::newRow("idle 500 ms shows 1") << 10000u << 500u << 1u << 0u << quint64(12) << 0u << 0u << 1u << 1u;
    QTest::newRow("idle 1,499 ms shows 1") << 10000u << 1499u << 1u << 0u << quint64(12) << 0u << 0u << 1u << 1u;
    QTest::newRow("idle 1,500 ms shows 2") << 10000u << 1500u << 1u << 0u << quint64(12) << 0u << 0u << 2u << 1u;
    QTest::newRow("request sum wraps at 2^32")
        << 1000u << 0u << 0xFFFFFFFFu << 2u << quint64(0) << 1u << 0u << 0u << 0u;
    QTest::newRow("largest connect time, 2^32 - 1 ms")
        << 0xFFFFFFFFu << 0u << 0u << 0u << quint64(0) << 0u << 71582u << 0u << 0u;
}

void ConsoleLogicTest::statistics()
{
    QFETCH(uint, connectMs);
    QFETCH(uint, idleMs);
    QFETCH(uint, accepted);
    QFETCH(uint, rejected);
    QFETCH(quint64, received);
    const uint32_t now = 5000000;
    const SlotSnapshot snapshot = Snapshot(now - connectMs, now - idleMs, accepted, rejected, received, received / 2);

    const ConnectionStatistics statistics = ComputeConnectionStatistics(snapshot, now);

    QCOMPARE(statistics.acceptedRequests, accepted);
    QCOMPARE(statistics.rejectedRequests, rejected);
    QTEST(statistics.requestsPerSecond, "requestsPerSecond");
    QTEST(statistics.connectMinutes, "connectMinutes");
    QTEST(statistics.idleSeconds, "idleSeconds");
    QTEST(statistics.bytesReceivedPerSecond, "receivedPerSecond");
}

void ConsoleLogicTest::statisticsSurviveTickWrap()
{
    // Connected 3 s before the tick counter wrapped, now 1.6 s after it.
    const SlotSnapshot snapshot = Snapshot(0xFFFFFFFFu - 2999, 0xFFFFFFFFu - 499, 9, 0, 90, 90);
    const ConnectionStatistics statistics = ComputeConnectionStatistics(snapshot, 1600);
    QCOMPARE(statistics.requestsPerSecond, 9u / 5u);
    QCOMPARE(statistics.idleSeconds, 2u);
    QCOMPARE(statistics.bytesReceivedPerSecond, 18u);
}

void ConsoleLogicTest::byteCountersPast32Bits()
{
    // 2^32 + 1,000 bytes received over 10 s: the counter shows its low 32 bits, the rate uses all 64.
    const uint64_t received = (uint64_t{1} << 32) + 1000;
    const uint64_t transmitted = (uint64_t{3} << 32) + 7;
    const SlotSnapshot snapshot = Snapshot(0, 0, 1, 0, received, transmitted);
    const ConnectionStatistics statistics = ComputeConnectionStatistics(snapshot, 10000);
    QCOMPARE(statistics.bytesReceived, 1000u);
    QCOMPARE(statistics.bytesTransmitted, 7u);
    QCOMPARE(statistics.bytesReceivedPerSecond, static_cast<uint32_t>(received / 10));
    QCOMPARE(statistics.bytesTransmittedPerSecond, static_cast<uint32_t>(transmitted / 10));
}

void ConsoleLogicTest::hexDump_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("dump");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("one byte, trailing blank") << QByteArray::fromHex("0a") << QStringLiteral("0A ");
    QTest::newRow("upper-case digits") << QByteArray::fromHex("abcdef") << QStringLiteral("AB CD EF ");
    // Read 10 registers from 0, unit 1, transaction 1.
    QTest::newRow("read holding registers request")
        << QByteArray::fromHex("00010000000601030000000A") << QStringLiteral("00 01 00 00 00 06 01 03 00 00 00 0A ");
}

void ConsoleLogicTest::hexDump()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, dump);
    char text[kHexDumpBufferSize];
    std::memset(text, 'x', sizeof text);
    FormatHexDump(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<uint16_t>(bytes.size()), text);
    QCOMPARE(QString::fromLatin1(text), dump);
}

void ConsoleLogicTest::hexDumpOfLargestAdu()
{
    uint8_t adu[kAduCapacity];
    for (int i = 0; i < kAduCapacity; ++i) {
        adu[i] = static_cast<uint8_t>(0xFF - i);
    }
    // A guard byte past the 781 characters the dump may use.
    char text[kHexDumpBufferSize];
    std::memset(text, 'x', sizeof text);
    FormatHexDump(adu, kAduCapacity, text);
    QCOMPARE(std::strlen(text), size_t{3 * kAduCapacity});
    QCOMPARE(text[3 * kAduCapacity + 1], 'x');
    QCOMPARE(QByteArray(text, 6), QByteArray("FF FE "));
    QCOMPARE(QByteArray(text + 3 * (kAduCapacity - 1), 3), QByteArray("FC "));
}

void ConsoleLogicTest::editValues_data()
{
    QTest::addColumn<int>("table");   // DataTable
    QTest::addColumn<int>("viewStart");
    QTest::addColumn<int>("box");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");         // -1: the box is skipped
    QTest::addColumn<QString>("message");   // empty: accepted
    const int holding = static_cast<int>(DataTable::HoldingRegisters);
    const QString register1234 = QStringLiteral("The value for holding register 1234 must be a whole number from 0 to 65535.");
    QTest::newRow("65535") << holding << 1230 << 4 << QByteArray("65535") << 65535 << QString();
    QTest::newRow("0") << holding << 1230 << 4 << QByteArray("0") << 0 << QString();
    QTest::newRow("blanks around") << holding << 1230 << 4 << QByteArray(" \t42  ") << 42 << QString();
    QTest::newRow("empty is skipped") << holding << 1230 << 4 << QByteArray("") << -1 << QString();
    QTest::newRow("blanks only are skipped") << holding << 1230 << 4 << QByteArray("   ") << -1 << QString();
    QTest::newRow("65536") << holding << 1230 << 4 << QByteArray("65536") << -1 << register1234;
    QTest::newRow("70000 is not stored as 4464") << holding << 1230 << 4 << QByteArray("70000") << -1 << register1234;
    QTest::newRow("-1 is not stored as 65535") << holding << 1230 << 4 << QByteArray("-1") << -1 << register1234;
    QTest::newRow("+1") << holding << 1230 << 4 << QByteArray("+1") << -1 << register1234;
    QTest::newRow("1.5 is not stored as 15 or 1") << holding << 1230 << 4 << QByteArray("1.5") << -1 << register1234;
    QTest::newRow("letters") << holding << 1230 << 4 << QByteArray("12ab") << -1 << register1234;
    QTest::newRow("blank inside") << holding << 1230 << 4 << QByteArray("1 2") << -1 << register1234;
    QTest::newRow("long text is read whole") << holding << 1230 << 4 << QByteArray("0000001x") << -1 << register1234;
    QTest::newRow("past 32 bits") << holding << 1230 << 4 << QByteArray("99999999999999999999") << -1 << register1234;
    const int coils = static_cast<int>(DataTable::Coils);
    const int discreteInputs = static_cast<int>(DataTable::DiscreteInputs);
    const int inputRegisters = static_cast<int>(DataTable::InputRegisters);
    QTest::newRow("coil 1") << coils << 10 << 7 << QByteArray("1") << 1 << QString();
    QTest::newRow("coil 0") << coils << 10 << 7 << QByteArray("0") << 0 << QString();
    QTest::newRow("coil 5 is not stored as 1")
        << coils << 10 << 7 << QByteArray("5") << -1 << QStringLiteral("The value for coil 17 must be 0 or 1.");
    QTest::newRow("discrete input 1") << discreteInputs << 10 << 7 << QByteArray("1") << 1 << QString();
    QTest::newRow("discrete input 2 is not stored as 0")
        << discreteInputs << 10 << 7 << QByteArray("2") << -1
        << QStringLiteral("The value for discrete input 17 must be 0 or 1.");
    QTest::newRow("input register 65535") << inputRegisters << 10 << 7 << QByteArray("65535") << 65535 << QString();
    QTest::newRow("input register 65536")
        << inputRegisters << 10 << 7 << QByteArray("65536") << -1
        << QStringLiteral("The value for input register 17 must be a whole number from 0 to 65535.");
    QTest::newRow("last register") << holding << 65510 << 25 << QByteArray("7") << 7 << QString();
    QTest::newRow("past the table anything is skipped") << holding << 65510 << 26 << QByteArray("70000") << -1 << QString();
}

void ConsoleLogicTest::editValues()
{
    QFETCH(int, table);
    QFETCH(int, viewStart);
    QFETCH(int, box);
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QFETCH(QString, message);
    // Box 0 holds a good value: it is written only when no other box is refused.
    const char* texts[kGridCells];
    for (const char*& boxText : texts) {
        boxText = "";
    }
    texts[0] = "1";
    texts[box] = text.constData();
    const EditValuesReading reading = ReadEditValues(texts, static_cast<DataTable>(table), viewStart);
    QCOMPARE(QString::fromLatin1(reading.message), message);
    QCOMPARE(reading.refusedBox, message.isEmpty() ? -1 : box);
    QCOMPARE(reading.filled[0], message.isEmpty());
    QCOMPARE(reading.filled[box], value >= 0);
    if (value >= 0) {
        QCOMPARE(static_cast<int>(reading.values[box]), value);
    }
}

void ConsoleLogicTest::editValuesInAFormat_data()
{
    QTest::addColumn<int>("kind");   // ValueTextKind
    QTest::addColumn<int>("order");  // ValueOrder
    QTest::addColumn<int>("viewStart");
    QTest::addColumn<int>("box");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<int>>("registers");   // written from box on; empty: nothing
    QTest::addColumn<QString>("message");
    const int float32 = static_cast<int>(ValueTextKind::kFloat32);
    const int int64 = static_cast<int>(ValueTextKind::kInt64);
    const int cdab = static_cast<int>(ValueOrder::kCdab);
    QTest::newRow("float32 CDAB") << float32 << cdab << 100 << 2 << QByteArray("3.14") << QList<int>{0xF5C3, 0x4048}
                                  << QString();
    QTest::newRow("signed -1") << static_cast<int>(ValueTextKind::kSigned) << 0 << 100 << 3 << QByteArray("-1")
                               << QList<int>{65535} << QString();
    QTest::newRow("a value's second box is not read") << float32 << cdab << 100 << 3 << QByteArray("junk")
                                                      << QList<int>{} << QString();
    QTest::newRow("int64 at 65534 would pass the table's end")
        << int64 << 0 << 65510 << 24 << QByteArray("1") << QList<int>{} << QString();
    QTest::newRow("int64 at 65530 ends at 65533") << int64 << 0 << 65510 << 20 << QByteArray("-2")
                                                  << QList<int>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE} << QString();
    QTest::newRow("hex refused")
        << static_cast<int>(ValueTextKind::kHex) << 0 << 100 << 5 << QByteArray("0x10000") << QList<int>{}
        << QStringLiteral("The value for holding register 105 must be a hexadecimal number from 0x0000 to 0xFFFF.");
    QTest::newRow("float32 refused")
        << float32 << cdab << 100 << 4 << QByteArray("3.5e38") << QList<int>{}
        << QStringLiteral("The value for holding register 104 must be a number from -3.4028235e+38 to 3.4028235e+38.");
}

void ConsoleLogicTest::editValuesInAFormat()
{
    QFETCH(int, kind);
    QFETCH(int, order);
    QFETCH(int, viewStart);
    QFETCH(int, box);
    QFETCH(QByteArray, text);
    QFETCH(QList<int>, registers);
    QFETCH(QString, message);
    const char* texts[kGridCells];
    for (const char*& boxText : texts) {
        boxText = "";
    }
    texts[box] = text.constData();
    const ValueFormat format{static_cast<ValueTextKind>(kind), static_cast<ValueOrder>(order)};
    const EditValuesReading reading = ReadEditValues(texts, DataTable::HoldingRegisters, viewStart, format);
    QCOMPARE(QString::fromLatin1(reading.message), message);
    QCOMPARE(reading.refusedBox, message.isEmpty() ? -1 : box);
    QCOMPARE(reading.filled[box], !registers.isEmpty());
    QList<int> written;
    for (int k = 0; reading.filled[box] && k < reading.registerCount; ++k) {
        written << reading.values[box + k];
    }
    QCOMPARE(written, registers);
}

void ConsoleLogicTest::dialogNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("number");
    QTest::newRow("empty") << QByteArray("") << 0u;
    QTest::newRow("plain") << QByteArray("1234") << 1234u;
    QTest::newRow("blanks around") << QByteArray("  77 ") << 77u;
    QTest::newRow("letters") << QByteArray("abc") << 0u;
    QTest::newRow("digits then letters") << QByteArray("12x") << 0u;
    QTest::newRow("sign") << QByteArray("-5") << 0u;
    QTest::newRow("largest 32-bit") << QByteArray("4294967295") << 4294967295u;
    QTest::newRow("one past 32 bits") << QByteArray("4294967296") << 0u;
    QTest::newRow("many digits") << QByteArray("99999999999999999999") << 0u;
    QTest::newRow("leading zeros") << QByteArray("000065535") << 65535u;
}

void ConsoleLogicTest::dialogNumber()
{
    QFETCH(QByteArray, text);
    QTEST(ReadUnsignedNumber(text.constData()), "number");
}

void ConsoleLogicTest::dataAreaChecks_data()
{
    // Starts and sizes by table: coils, discrete inputs, input registers, holding registers.
    QTest::addColumn<QByteArrayList>("starts");
    QTest::addColumn<QByteArrayList>("sizes");
    QTest::addColumn<int>("failedTable");
    QTest::addColumn<int>("failedBox");
    QTest::addColumn<QString>("message");
    const int coils = static_cast<int>(DataTable::Coils);
    const int discreteInputs = static_cast<int>(DataTable::DiscreteInputs);
    const int inputRegisters = static_cast<int>(DataTable::InputRegisters);
    const int holding = static_cast<int>(DataTable::HoldingRegisters);
    const int none = static_cast<int>(DataAreaBox::None);
    const int start = static_cast<int>(DataAreaBox::Start);
    const int size = static_cast<int>(DataAreaBox::Size);
    const QString zero = QStringLiteral("Size must be greater than zero.");
    const QString exceed = QStringLiteral("Starting Address plus Size cannot exceed 65536.");
    // The holding registers' start and size; every other table 0 and 1.
    auto holdingOnly = [](const QByteArray& first, const QByteArray& count) {
        return std::pair{QByteArrayList{"0", "0", "0", first}, QByteArrayList{"1", "1", "1", count}};
    };
    auto row = [](const char* name, const std::pair<QByteArrayList, QByteArrayList>& boxes, int table, int box,
                  const QString& message) {
        QTest::newRow(name) << boxes.first << boxes.second << table << box << message;
    };
    row("whole tables", {{"0", "0", "0", "0"}, {"65536", "65536", "65536", "65536"}}, 0, none, QString());
    row("last register alone", holdingOnly("65535", "1"), 0, none, QString());
    row("empty start counts as 0", {{"", " ", "", ""}, {"1", "1", "1", "1"}}, 0, none, QString());
    row("last register and one past", holdingOnly("65535", "2"), holding, size, exceed);
    row("register start past the table", holdingOnly("70000", "1"), holding, size, exceed);
    row("register sum would wrap 32 bits", holdingOnly("10", "4294967290"), holding, size, exceed);
    row("register size zero", holdingOnly("0", "0"), holding, size, zero);
    row("empty size counts as 0", holdingOnly("0", ""), holding, size, zero);
    row("register size zero before a bad start", holdingOnly("70000", "0"), holding, size, zero);
    row("coils checked before holding registers", {{"0", "0", "0", "1"}, {"0", "1", "1", "65536"}}, coils, size, zero);
    row("coil range too large", {{"65000", "0", "0", "100"}, {"537", "1", "1", "100"}}, coils, size, exceed);
    row("coil range exactly fits", {{"65000", "0", "0", "100"}, {"536", "1", "1", "100"}}, 0, none, QString());
    row("discrete input size zero", {{"0", "5", "0", "0"}, {"1", "0", "1", "1"}}, discreteInputs, size, zero);
    row("discrete inputs checked before input registers", {{"0", "65535", "0", "0"}, {"1", "2", "0", "1"}},
        discreteInputs, size, exceed);
    row("input register range one past the table", {{"0", "0", "65000", "0"}, {"1", "1", "537", "1"}}, inputRegisters,
        size, exceed);
    row("input register range exactly fits", {{"0", "0", "65000", "0"}, {"1", "1", "536", "1"}}, 0, none, QString());
    row("start past 32 bits is not 10", holdingOnly("4294967306", "1"), holding, start,
        QStringLiteral("Holding Registers: the starting address must be a whole number from 0 to 4294967295."));
    row("negative size", holdingOnly("0", "-1"), holding, size,
        QStringLiteral("Holding Registers: the size must be a whole number from 0 to 4294967295."));
    row("letters in the coil start", {{"ab", "0", "0", "0"}, {"1", "1", "1", "1"}}, coils, start,
        QStringLiteral("Coils: the starting address must be a whole number from 0 to 4294967295."));
    row("letters in the discrete input start", {{"0", "1x", "0", "0"}, {"1", "1", "1", "1"}}, discreteInputs, start,
        QStringLiteral("Discrete Inputs: the starting address must be a whole number from 0 to 4294967295."));
    row("unreadable input register size before the coil range", {{"70000", "0", "0", "0"}, {"1", "1", "1 0", "1"}},
        inputRegisters, size,
        QStringLiteral("Input Registers: the size must be a whole number from 0 to 4294967295."));
}

void ConsoleLogicTest::dataAreaChecks()
{
    QFETCH(QByteArrayList, starts);
    QFETCH(QByteArrayList, sizes);
    QFETCH(int, failedBox);
    QFETCH(QString, message);
    DataAreaTexts texts{};
    for (int i = 0; i < kDataTableCount; ++i) {
        texts.start[i] = starts[i].constData();
        texts.size[i] = sizes[i].constData();
    }
    DataAreaSettings settings{};
    DataAreaCheck check = ReadDataAreaNumbers(texts, &settings);
    if (check.failedBox == DataAreaBox::None) {
        check = CheckDataAreaSettings(settings);
    }
    QCOMPARE(static_cast<int>(check.failedBox), failedBox);
    if (check.failedBox != DataAreaBox::None) {
        QTEST(static_cast<int>(check.failedTable), "failedTable");
    }
    QCOMPARE(check.failedBox == DataAreaBox::None ? QString() : QString::fromLatin1(check.message), message);
}

void ConsoleLogicTest::scrollPosition_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("position");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1234 rounds down to a row") << 1234 << 123;
    QTest::newRow("9 rounds down to 0") << 9 << 0;
    QTest::newRow("-9 truncates toward zero") << -9 << 0;
    QTest::newRow("-10 clamps to 0") << -10 << 0;
    QTest::newRow("65510 is the last position") << 65510 << 6551;
    QTest::newRow("65519 still the last") << 65519 << 6551;
    QTest::newRow("65520 clamps to the last") << 65520 << 6551;
    QTest::newRow("65535 clamps to the last") << 65535 << 6551;
    QTest::newRow("largest signed") << INT32_MAX << 6551;
    QTest::newRow("smallest signed") << INT32_MIN << 0;
}

void ConsoleLogicTest::scrollPosition()
{
    QFETCH(int, value);
    QTEST(ScrollPositionForValue(value), "position");
}

void ConsoleLogicTest::scrollRequests_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("thumb");
    QTest::addColumn<bool>("acted");
    QTest::addColumn<int>("landsOn");   // first address after SetViewPosition's clamping
    QTest::newRow("line down") << int(kScrollLineDown) << 500 << 0 << true << 510;
    QTest::newRow("line up") << int(kScrollLineUp) << 500 << 0 << true << 490;
    QTest::newRow("line up at 0 stays") << int(kScrollLineUp) << 0 << 0 << true << 0;
    QTest::newRow("line down at 65510 stays") << int(kScrollLineDown) << 65510 << 0 << true << 65510;
    QTest::newRow("page down") << int(kScrollPageDown) << 500 << 0 << true << 530;
    QTest::newRow("page up at 20 lands on 0") << int(kScrollPageUp) << 20 << 0 << true << 0;
    QTest::newRow("page down from 65500 lands on 65510") << int(kScrollPageDown) << 65500 << 0 << true << 65510;
    QTest::newRow("thumb tracking") << int(kScrollThumbTrack) << 0 << 4321 << true << 43210;
    QTest::newRow("thumb released ignored") << int(kScrollThumbPosition) << 500 << 10 << false << 500;
    QTest::newRow("top ignored") << int(kScrollTop) << 500 << 0 << false << 500;
    QTest::newRow("bottom ignored") << int(kScrollBottom) << 500 << 0 << false << 500;
    QTest::newRow("end of scroll ignored") << int(kScrollEnd) << 500 << 0 << false << 500;
    QTest::newRow("unknown request ignored") << 99 << 500 << 0 << false << 500;
}

void ConsoleLogicTest::scrollRequests()
{
    QFETCH(int, request);
    QFETCH(int, base);
    QFETCH(int, thumb);
    int32_t value = base;
    QTEST(ScrollRequestValue(request, base, thumb, &value), "acted");
    QTEST(ScrollPositionForValue(value) * 10, "landsOn");
}

void ConsoleLogicTest::gridCell_data()
{
    QTest::addColumn<uint>("address");
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("last");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("inside") << 100u << 100u << 199u << 7u << QStringLiteral("7");
    QTest::newRow("below the window") << 99u << 100u << 199u << 7u << QStringLiteral("----");
    QTest::newRow("above the window") << 200u << 100u << 199u << 7u << QStringLiteral("----");
    QTest::newRow("0xFFFF is unsigned") << 5u << 0u << 65535u << 65535u << QStringLiteral("65535");
    QTest::newRow("last address") << 65535u << 0u << 65535u << 1u << QStringLiteral("1");
    QTest::newRow("past the table is blank") << 65536u << 0u << 65535u << 0u << QString();
    QTest::newRow("past the table even outside the window") << 65539u << 100u << 199u << 0u << QString();
}

void ConsoleLogicTest::gridCell()
{
    QFETCH(uint, address);
    QFETCH(uint, first);
    QFETCH(uint, last);
    QFETCH(uint, value);
    // The cell in a grid whose row holds it, in the format the grid starts with.
    const uint32_t start = address / kGridColumns * kGridColumns;
    const int cell = static_cast<int>(address - start);
    uint16_t values[kGridReadCount] = {};
    values[cell] = static_cast<uint16_t>(value);
    const int count = static_cast<int>(qMin<uint32_t>(kGridReadCount, kTableSize - qMin(start, kTableSize)));
    RefreshTexts texts{};
    ComposeDataGrid(static_cast<int32_t>(start), static_cast<uint16_t>(first), static_cast<uint16_t>(last),
                    kPlainFormat, values, count, &texts);
    QTEST(QString::fromLatin1(texts.cell[cell]), "text");
}

void ConsoleLogicTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("bindAddress");
    QTest::addColumn<int>("port");
    const int run = static_cast<int>(CommandLineAction::Run);
    const int fail = static_cast<int>(CommandLineAction::Fail);
    QTest::newRow("defaults") << QStringList{} << run << QStringLiteral("0.0.0.0") << 502;
    QTest::newRow("port and bind") << QStringList{"--port", "1502", "--bind", "127.0.0.1"} << run
                                   << QStringLiteral("127.0.0.1") << 1502;
    QTest::newRow("inline values") << QStringList{"--port=65535", "--bind=10.0.0.1"} << run
                                   << QStringLiteral("10.0.0.1") << 65535;
    QTest::newRow("port 0: any free port") << QStringList{"--port", "0"} << run << QStringLiteral("0.0.0.0") << 0;
    QTest::newRow("help") << QStringList{"--help"} << int(CommandLineAction::ShowHelp) << QString() << 0;
    QTest::newRow("version") << QStringList{"--version"} << int(CommandLineAction::ShowVersion) << QString() << 0;
    QTest::newRow("port 65536") << QStringList{"--port", "65536"} << fail << QString() << 0;
    QTest::newRow("port not a number") << QStringList{"--port", "12a"} << fail << QString() << 0;
    QTest::newRow("port missing value") << QStringList{"--port"} << fail << QString() << 0;
    QTest::newRow("bind with five parts") << QStringList{"--bind", "1.2.3.4.5"} << fail << QString() << 0;
    QTest::newRow("bind part past 255") << QStringList{"--bind", "1.2.3.256"} << fail << QString() << 0;
    QTest::newRow("bind host name") << QStringList{"--bind", "localhost"} << fail << QString() << 0;
    QTest::newRow("bind trailing dot") << QStringList{"--bind", "1.2.3."} << fail << QString() << 0;
    // Accepted once, then the bind itself refused it: a leading zero reads as octal to some.
    QTest::newRow("bind leading zero") << QStringList{"--bind", "010.0.0.1"} << fail << QString() << 0;
    QTest::newRow("bind IPv6 loopback") << QStringList{"--bind", "::1"} << run << QStringLiteral("::1") << 502;
    QTest::newRow("bind IPv6 every address") << QStringList{"--bind=::"} << run << QStringLiteral("::") << 502;
    QTest::newRow("bind IPv6 in brackets") << QStringList{"--bind", "[::1]"} << fail << QString() << 0;
    QTest::newRow("bind IPv6 two gaps") << QStringList{"--bind", "1::2::3"} << fail << QString() << 0;
    QTest::newRow("unknown option") << QStringList{"--verbose"} << fail << QString() << 0;
    QTest::newRow("stray argument") << QStringList{"502"} << fail << QString() << 0;
}

void ConsoleLogicTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    std::vector<QByteArray> storage{QByteArray("parvane")};
    for (const QString& argument : arguments) {
        storage.push_back(argument.toUtf8());
    }
    std::vector<const char*> argv;
    for (const QByteArray& argument : storage) {
        argv.push_back(argument.constData());
    }
    ConsoleOptions options;
    std::string error;
    const CommandLineAction result = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, &error);
    QCOMPARE(static_cast<int>(result), action);
    if (result == CommandLineAction::Run) {
        QTEST(QString::fromStdString(options.bindAddress), "bindAddress");
        QTEST(static_cast<int>(options.port), "port");
    }
    if (result == CommandLineAction::Fail) {
        QVERIFY(!error.empty());
    }
}

namespace {

SlotSnapshot FreeSlot()
{
    SlotSnapshot snapshot{};
    snapshot.clientSocket = kNoSocket;
    // A free slot still holds what its last connection left there.
    std::strcpy(snapshot.peerText, "10.1.1.1:7");
    snapshot.acceptedRequests = 99;
    snapshot.lastRequestLength = 3;
    return snapshot;
}

QString Text(const char* text)
{
    return QString::fromLatin1(text);
}

}  // namespace

void ConsoleLogicTest::monitorRowsShowBusySlotsOnly()
{
    SlotSnapshot snapshots[kSlotCount] = {FreeSlot(), FreeSlot(), FreeSlot(), FreeSlot()};
    snapshots[2] = Snapshot(1000, 1000, 0, 0, 0, 0);
    snapshots[2].clientSocket = 2147483000;
    std::strcpy(snapshots[2].peerText, "255.255.255.255:65535");
    RefreshTexts texts{};
    ComposeConnectionMonitor(snapshots, 0, 2000, &texts);
    QCOMPARE(Text(texts.socketText[0]), QString());
    QCOMPARE(Text(texts.peerText[0]), QString());
    QCOMPARE(Text(texts.socketText[2]), QStringLiteral("2147483000"));
    QCOMPARE(Text(texts.peerText[2]), QStringLiteral("255.255.255.255:65535"));
    QCOMPARE(Text(texts.socketText[3]), QString());
}

void ConsoleLogicTest::monitorEmptiesStatisticsOfAFreeViewedSlot()
{
    SlotSnapshot snapshots[kSlotCount] = {FreeSlot(), FreeSlot(), FreeSlot(), FreeSlot()};
    RefreshTexts texts{};
    std::memset(&texts, 'x', sizeof texts);
    ComposeConnectionMonitor(snapshots, 1, 5000, &texts);
    QVERIFY(texts.monitorShown);
    for (int k = 0; k < kStatisticsCount; ++k) {
        QCOMPARE(Text(texts.statistics[k]), QString());
    }
    QCOMPARE(Text(texts.requestDump), QString());
    QCOMPARE(Text(texts.responseDump), QString());

    ComposeConnectionMonitor(snapshots, -1, 5000, &texts);
    QVERIFY(!texts.monitorShown);
}

void ConsoleLogicTest::monitorOfASlotWithoutTransactions()
{
    SlotSnapshot snapshots[kSlotCount] = {FreeSlot(), FreeSlot(), FreeSlot(), FreeSlot()};
    snapshots[3] = Snapshot(7000, 7000, 0, 0, 0, 0);
    RefreshTexts texts{};
    ComposeConnectionMonitor(snapshots, 3, 7400, &texts);
    const QStringList expected{"0", "0", "0", "0", "0", "0", "0", "0", "0"};
    QStringList shown;
    for (int k = 0; k < kStatisticsCount; ++k) {
        shown << Text(texts.statistics[k]);
    }
    QCOMPARE(shown, expected);
    QCOMPARE(Text(texts.requestDump), QString());
    QCOMPARE(Text(texts.responseDump), QString());

    // After one transaction the statistics land in their controls' order.
    snapshots[3] = Snapshot(7000, 9000, 7, 3, 120, 250);
    snapshots[3].lastRequestLength = 2;
    snapshots[3].lastRequest[0] = 0xAB;
    snapshots[3].lastRequest[1] = 0x01;
    ComposeConnectionMonitor(snapshots, 3, 11600, &texts);   // 4.6 s: 5 s connected, 2.6 s idle
    shown.clear();
    for (int k = 0; k < kStatisticsCount; ++k) {
        shown << Text(texts.statistics[k]);
    }
    // 2101, 2201, 2301, 2401, 1234, 1235, 1236, 1237, 1238
    QCOMPARE(shown, (QStringList{"120", "250", "7", "3", "2", "0", "3", "24", "50"}));
    QCOMPARE(Text(texts.requestDump), QStringLiteral("AB 01 "));
}

void ConsoleLogicTest::gridTextsAtTheEndOfTheTable()
{
    uint16_t values[26];
    for (int i = 0; i < 26; ++i) {
        values[i] = static_cast<uint16_t>(65000 + i);
    }
    RefreshTexts texts{};
    ComposeDataGrid(65510, 0, 65533, kPlainFormat, values, 26, &texts);
    QCOMPARE(Text(texts.rowLabel[0]), QStringLiteral("65510"));
    QCOMPARE(Text(texts.rowLabel[2]), QStringLiteral("65530"));
    QCOMPARE(Text(texts.cell[0]), QStringLiteral("65000"));
    QCOMPARE(Text(texts.cell[23]), QStringLiteral("65023"));
    QCOMPARE(Text(texts.cell[24]), QStringLiteral("----"));   // 65,534: past the window's end
    QCOMPARE(Text(texts.cell[25]), QStringLiteral("----"));
    for (int i = 26; i < 30; ++i) {
        QCOMPARE(Text(texts.cell[i]), QString());   // 65,536 and on: past the table
    }
}

void ConsoleLogicTest::gridTextsOfAFourRegisterFormat()
{
    // int64 ABCD from 65510 on, in a window of 65512 to 65535: values start at every fourth cell.
    uint16_t values[26] = {};
    values[7] = 5;   // 65514 ... 65517
    for (int i = 16; i < 20; ++i) {
        values[i] = 0xFFFF;   // 65526 ... 65529
    }
    RefreshTexts texts{};
    ComposeDataGrid(65510, 65512, 65535, ValueFormat{ValueTextKind::kInt64, ValueOrder::kAbcd}, values, 26, &texts);
    const struct {
        int cell;
        const char* text;
        int span;
    } expected[] = {
        {0, "----", 4},   // 65510: outside the window
        {1, "", 0},       // covered by its value's box
        {4, "5", 4},
        {8, "0", 2},      // 65518 ... 65521: two cells in this row
        {10, "\xB7\xB7", -1},   // and two in the next
        {11, "\xB7\xB7", -1},
        {16, "-1", 4},
        {20, "0", 4},     // 65530 ... 65533
        {24, "--", 4},    // 65534 ... 65537: past the table
        {26, "", 0},
    };
    for (const auto& cell : expected) {
        QCOMPARE(Text(texts.cell[cell.cell]), QString::fromLatin1(cell.text));
        QCOMPARE(static_cast<int>(texts.cellSpan[cell.cell]), cell.span);
    }
    QVERIFY(!texts.twoLineCells);

    // Binary shows its high byte over its low byte.
    values[0] = 0x12F0;
    ComposeDataGrid(0, 0, 65535, ValueFormat{ValueTextKind::kBinary, ValueOrder::kAbcd}, values, 26, &texts);
    QCOMPARE(Text(texts.cell[0]), QStringLiteral("00010010\n11110000"));
    QVERIFY(texts.twoLineCells);
}

void ConsoleLogicTest::captionChangesOnlyOnTransitions()
{
    bool showsRunning = false;
    QCOMPARE(FollowServerState(false, &showsRunning), CaptionChange::None);
    QCOMPARE(FollowServerState(true, &showsRunning), CaptionChange::ShowRunning);
    QVERIFY(showsRunning);
    QCOMPARE(FollowServerState(true, &showsRunning), CaptionChange::None);
    QCOMPARE(FollowServerState(false, &showsRunning), CaptionChange::ShowStopped);
    QCOMPARE(FollowServerState(false, &showsRunning), CaptionChange::None);
    QVERIFY(!showsRunning);
}

QTEST_GUILESS_MAIN(ConsoleLogicTest)
#include "test_console_logic.moc"
