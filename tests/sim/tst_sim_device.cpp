// Device model of the simulated controller: replies, switching, interlocks, timed switching,
// parameter writes, address filtering and restart.
#include "device.h"
#include "protocol.h"
#include "statejson.h"

#include <QJsonDocument>
#include <QTest>

using namespace vesk::sim;

namespace {

using Frames = QList<QByteArray>;
using Checkpoints = QList<QPair<int, int>>; // device time in ms, expected channel byte

QByteArray hex(const char* text) {
    return *fromHex(QString::fromLatin1(text));
}

QByteArray switchFrame(int channel, bool on, quint8 address = 1) {
    const char data[] = {char(channel), char(on ? 1 : 0)};
    return commandFrame(address, Cmd::SwitchChannel, QByteArrayView(data, 2));
}

QByteArray timedFrame(quint8 selection, quint8 targets, quint8 code) {
    const char data[] = {char(selection), char(targets), char(code)};
    return commandFrame(1, Cmd::TimedSwitch, QByteArrayView(data, 3));
}

QByteArray param(quint8 parameter, QByteArray values) {
    return parameterFrame(1, parameter, values);
}

QByteArray delayValues(std::initializer_list<int> seconds) {
    QByteArray values;
    for (int v : seconds)
        values.append(char(v < 256 ? v : v % 255)).append(char(v < 256 ? 0 : v / 255));
    return values;
}

void apply(Device& device, const Frames& frames) {
    for (const QByteArray& frame : frames) {
        const auto result = device.handleFrame(frame);
        QVERIFY2(result.outcome == Device::Outcome::Applied,
                 qPrintable(toHex(frame) + QStringLiteral(": ") + result.reason));
    }
}

// The state without the counters, to show that a rejected frame changed nothing else.
QJsonObject settings(const Device& device) {
    QJsonObject state = stateToJson(device);
    for (const char* key : {"framesReceived", "malformed", "ignored"})
        state.remove(QLatin1String(key));
    return state;
}

} // namespace

class TestSimDevice : public QObject {
    Q_OBJECT

private slots:
    void statusReply_data();
    void statusReply();
    void switching_data();
    void switching();
    void timedSwitch_data();
    void timedSwitch();
    void parameterWrite_data();
    void parameterWrite();
    void decodeDelay_data();
    void decodeDelay();
    void addressFilter_data();
    void addressFilter();
    void restart_data();
    void restart();
};

void TestSimDevice::statusReply_data() {
    QTest::addColumn<int>("ownAddress");
    QTest::addColumn<Frames>("setup");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("all off") << 1 << Frames{} << hex("CA 20 01 20 01 01 F2")
                             << hex("CA 20 01 20 00 F4");
    QTest::newRow("channels 1 and 3 on") << 1 << Frames{switchFrame(1, true), switchFrame(3, true)}
                                         << hex("CA 20 01 20 01 01 F2") << hex("CA 20 01 20 05 EF");
    QTest::newRow("broadcast query, reply with own address")
        << 5 << Frames{switchFrame(8, true, 5), switchFrame(3, true, 5), switchFrame(1, true, 5)}
        << hex("CA 20 FE 20 01 01 F5") << hex("CA 20 05 20 85 6B");
    QTest::newRow("address 0, all on") << 0 << Frames{timedFrame(0xFF, 0xFF, 0x00)}
                                       << hex("CA 20 00 20 01 01 F3") << hex("CA 20 00 20 FF F6");
}

void TestSimDevice::statusReply() {
    QFETCH(int, ownAddress);
    QFETCH(Frames, setup);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    Device device(static_cast<quint8>(ownAddress));
    for (QByteArray frame : setup) {
        frame[2] = char(ownAddress);
        frame.back() = char(checksum(frame.chopped(1)));
        apply(device, {frame});
    }
    // The console asks twice and expects two replies.
    QCOMPARE(device.handleFrame(query).reply, reply);
    QCOMPARE(device.handleFrame(query).reply, reply);
}

void TestSimDevice::switching_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rejected");
    QTest::newRow("on and off") << Frames{switchFrame(3, true), switchFrame(8, true),
                                          switchFrame(3, false)}
                                << 0x80 << 0;
    QTest::newRow("no interlock: both of a pair on")
        << Frames{switchFrame(1, true), switchFrame(2, true)} << 0x03 << 0;
    QTest::newRow("pair mask: partner goes off")
        << Frames{param(Param::InterlockPairs, "\x01"), switchFrame(1, true), switchFrame(2, true)}
        << 0x02 << 0;
    QTest::newRow("pair mask bit 3 holds channels 7 and 8")
        << Frames{param(Param::InterlockPairs, "\x08"), switchFrame(8, true), switchFrame(1, true),
                  switchFrame(2, true), switchFrame(7, true)}
        << 0x43 << 0;
    QTest::newRow("pair parameter 0x24 interlocks 5 and 6")
        << Frames{param(0x24, "\x20\x10"), switchFrame(5, true), switchFrame(6, true)} << 0x20 << 0;
    QTest::newRow("pair parameter released")
        << Frames{param(0x24, "\x20\x10"), param(0x24, QByteArray(2, 0)), switchFrame(5, true),
                  switchFrame(6, true)}
        << 0x30 << 0;
    QTest::newRow("interlock on timed switching")
        << Frames{param(Param::InterlockPairs, "\x02"), timedFrame(0x0C, 0x0C, 0x00)} << 0x08 << 0;
    QTest::newRow("switching off leaves the partner")
        << Frames{param(Param::InterlockPairs, "\x01"), switchFrame(1, true), switchFrame(2, false)}
        << 0x01 << 0;
    QTest::newRow("channel 0, 9 and state 2 rejected")
        << Frames{switchFrame(4, true), switchFrame(0, true), switchFrame(9, true),
                  commandFrame(1, Cmd::SwitchChannel, "\x04\x02")}
        << 0x08 << 3;
}

void TestSimDevice::switching() {
    QFETCH(Frames, frames);
    QFETCH(int, channels);
    QFETCH(int, rejected);
    Device device;
    int rejections = 0;
    for (const QByteArray& frame : frames) {
        const auto result = device.handleFrame(frame);
        if (result.outcome == Device::Outcome::Rejected) {
            ++rejections;
            QVERIFY(!result.reason.isEmpty());
        }
    }
    QCOMPARE(device.state().channels, channels);
    QCOMPARE(rejections, rejected);
    QCOMPARE(device.state().malformed, quint64(rejected));
}

void TestSimDevice::timedSwitch_data() {
    QTest::addColumn<double>("timeScale");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<Checkpoints>("checkpoints");
    QTest::newRow("0x00 at once") << 1.0 << Frames{timedFrame(0x0F, 0x05, 0x00)}
                                  << Checkpoints{{0, 0x05}};
    QTest::newRow("0x41 one second")
        << 1.0 << Frames{timedFrame(0x81, 0xFF, 0x41)} << Checkpoints{{999, 0x00}, {1000, 0x81}};
    QTest::newRow("0x7B 59 seconds, time scale 59")
        << 59.0 << Frames{timedFrame(0x01, 0x01, 0x7B)} << Checkpoints{{999, 0}, {1000, 1}};
    QTest::newRow("0x81 one minute, time scale 60")
        << 60.0 << Frames{timedFrame(0x02, 0x02, 0x81)} << Checkpoints{{999, 0}, {1000, 2}};
    QTest::newRow("0xCF 15 hours, time scale 3600")
        << 3600.0 << Frames{timedFrame(0x04, 0x04, 0xCF)} << Checkpoints{{14999, 0}, {15000, 4}};
    QTest::newRow("0x01 stored on-delays 1..8 s, time scale 10")
        << 10.0 << Frames{timedFrame(0xFF, 0xFF, 0x01)}
        << Checkpoints{{99, 0x00}, {100, 0x01}, {250, 0x03}, {799, 0x7F}, {800, 0xFF}};
    QTest::newRow("0x02 stored off-delays 8..1 s, time scale 10")
        << 10.0 << Frames{timedFrame(0xFF, 0xFF, 0x00), timedFrame(0xFF, 0x00, 0x02)}
        << Checkpoints{{0, 0xFF}, {100, 0x7F}, {450, 0x0F}, {800, 0x00}};
    QTest::newRow("0x01 uses written on-delays")
        << 100.0
        << Frames{param(Param::OnDelays, delayValues({300, 0, 1, 1, 1, 1, 1, 1})),
                  timedFrame(0x03, 0x03, 0x01)}
        << Checkpoints{{0, 0x02}, {2999, 0x02}, {3000, 0x03}};
    QTest::newRow("0x01 with an off target switches off by the on-delay")
        << 10.0 << Frames{timedFrame(0x04, 0x04, 0x00), timedFrame(0x04, 0x00, 0x01)}
        << Checkpoints{{299, 0x04}, {300, 0x00}};
    QTest::newRow("a new 0x19 replaces the pending switch")
        << 1.0 << Frames{timedFrame(0x01, 0x01, 0x45), timedFrame(0x01, 0x00, 0x00)}
        << Checkpoints{{0, 0}, {6000, 0}};
    QTest::newRow("pending switches of other channels stay")
        << 1.0 << Frames{timedFrame(0x03, 0x03, 0x42), timedFrame(0x02, 0x02, 0x41)}
        << Checkpoints{{1000, 0x02}, {2000, 0x03}};
}

void TestSimDevice::timedSwitch() {
    QFETCH(double, timeScale);
    QFETCH(Frames, frames);
    QFETCH(Checkpoints, checkpoints);
    Device device(1, timeScale);
    apply(device, frames);
    for (const auto& [time, channels] : checkpoints) {
        device.advance(time - device.nowMs());
        QVERIFY2(device.state().channels == channels,
                 qPrintable(QStringLiteral("at %1 ms: %2").arg(time).arg(device.state().channels)));
    }
    device.advance(24 * 3600 * 1000);
    QVERIFY(device.state().pending.empty());
}

void TestSimDevice::parameterWrite_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // JSON; empty: the frame is rejected
    QTest::newRow("state mask") << hex("CA 20 01 CC 04 00 11 01 85 AC") << "stateMask"
                                << "133";
    QTest::newRow("power-on user-defined") << hex("CA 20 01 CC 04 00 15 01 00 AC") << "powerOnMode"
                                           << "0";
    QTest::newRow("power-on mode 0x05") << hex("CA 20 01 CC 04 00 15 01 05 AC") << ""
                                        << "";
    QTest::newRow("pair mask") << hex("CA 20 01 CC 04 00 1F 01 04 AC") << "interlockPairs"
                               << "4";
    QTest::newRow("pair mask 0x10") << hex("CA 20 01 CC 04 00 1F 01 10 AC") << ""
                                    << "";
    QTest::newRow("pair 1-2 set") << hex("CA 20 01 CC 05 00 20 02 02 01 AC") << "pairParams"
                                  << R"({"0x20":[2,1],"0x22":[0,0],"0x24":[0,0],"0x26":[0,0]})";
    QTest::newRow("on-delays of the window's start")
        << hex("CA 20 01 CC 13 00 30 10 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 AC")
        << "onDelays"
        << "[1,2,3,4,5,6,7,8]";
    QTest::newRow("off-delays, base 255")
        << param(Param::OffDelays, hex("FF 00 01 01 2D 01 00 02 1E 0E 00 FF FE FF 00 00"))
        << "offDelays"
        << "[255,256,300,510,3600,65025,65279,0]";
    QTest::newRow("delay 65280") << param(Param::OnDelays, hex("FF FF") + QByteArray(14, 0)) << ""
                                 << "";
    QTest::newRow("delay low 255 high 1")
        << param(Param::OffDelays, QByteArray(14, 0) + hex("FF 01")) << ""
        << "";
    QTest::newRow("new address pending") << hex("CA 20 FE CC 04 00 10 01 1A AC") << "pendingAddress"
                                         << "26";
    QTest::newRow("keys locked") << hex("CA 20 01 CF 01 00 44") << "keysLocked"
                                 << "true";
    QTest::newRow("key lock 0x02") << commandFrame(1, Cmd::KeyLock, "\x02") << ""
                                   << "";
    QTest::newRow("unknown parameter 0x12") << param(0x12, "\x01") << ""
                                            << "";
    QTest::newRow("state mask with two values") << param(Param::StateMask, "\x01\x02") << ""
                                                << "";
    QTest::newRow("delays with 15 values") << param(Param::OnDelays, QByteArray(15, 1)) << ""
                                           << "";
    QTest::newRow("parameter high byte 1") << hex("CA 20 01 CC 04 01 11 01 85 AC") << ""
                                           << "";
    QTest::newRow("status query data 2") << hex("CA 20 01 20 01 02 F1") << ""
                                         << "";
    QTest::newRow("timing code 0x03") << timedFrame(0xFF, 0xFF, 0x03) << ""
                                      << "";
}

void TestSimDevice::parameterWrite() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, key);
    QFETCH(QString, value);
    Device device;
    const QJsonObject before = settings(device);
    const auto result = device.handleFrame(frame);
    if (value.isEmpty()) {
        QCOMPARE(result.outcome, Device::Outcome::Rejected);
        QVERIFY(!result.reason.isEmpty());
        QCOMPARE(settings(device), before);
        QCOMPARE(device.state().malformed, 1u);
        return;
    }
    QCOMPARE(result.outcome, Device::Outcome::Applied);
    QVERIFY(result.reply.isEmpty());
    const QJsonValue expected =
        QJsonDocument::fromJson(QStringLiteral("{\"v\":%1}").arg(value).toUtf8())
            .object()
            .value(u"v");
    QCOMPARE(stateToJson(device).value(key), expected);
    QCOMPARE(device.state().address, 1);
}

void TestSimDevice::decodeDelay_data() {
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("seconds"); // -1: rejected
    const int rows[][3] = {{0x00, 0x00, 0},    {0x08, 0x00, 8},     {0xFF, 0x00, 255},
                           {0x01, 0x01, 256},  {0x2D, 0x01, 300},   {0x00, 0x02, 510},
                           {0x1E, 0x0E, 3600}, {0x00, 0xFF, 65025}, {0xFE, 0xFF, 65279},
                           {0xFF, 0xFF, -1},   {0xFF, 0x01, -1},    {0xFF, 0xFE, -1}};
    for (const auto& row : rows)
        QTest::addRow("%02X %02X", row[0], row[1]) << row[0] << row[1] << row[2];
}

void TestSimDevice::decodeDelay() {
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, seconds);
    QString reason;
    const auto value = vesk::sim::decodeDelay(quint8(low), quint8(high), &reason);
    QCOMPARE(value ? int(*value) : -1, seconds);
    QCOMPARE(reason.isEmpty(), seconds >= 0);
}

void TestSimDevice::addressFilter_data() {
    QTest::addColumn<int>("ownAddress");
    QTest::addColumn<int>("frameAddress");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("own") << 1 << 1 << true;
    QTest::newRow("broadcast") << 1 << 254 << true;
    QTest::newRow("another") << 1 << 2 << false;
    QTest::newRow("address 0, frame for 1") << 0 << 1 << false;
    QTest::newRow("address 0, own") << 0 << 0 << true;
    QTest::newRow("address 255, broadcast") << 255 << 254 << true;
}

void TestSimDevice::addressFilter() {
    QFETCH(int, ownAddress);
    QFETCH(int, frameAddress);
    QFETCH(bool, accepted);
    Device device(static_cast<quint8>(ownAddress));
    const auto address = static_cast<quint8>(frameAddress);
    const auto switched = device.handleFrame(switchFrame(2, true, address));
    const auto reply = device.handleFrame(commandFrame(address, Cmd::StatusQuery, "\x01"));
    const auto expected = accepted ? Device::Outcome::Applied : Device::Outcome::Ignored;
    QCOMPARE(switched.outcome, expected);
    QCOMPARE(reply.outcome, expected);
    QCOMPARE(reply.reply.size(), accepted ? 6 : 0);
    QCOMPARE(device.state().channels, accepted ? 0x02 : 0x00);
    QCOMPARE(device.state().ignored, accepted ? 0u : 2u);
    QCOMPARE(device.state().framesReceived, 2u);
}

void TestSimDevice::restart_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("channels");
    QTest::newRow("before power loss")
        << Frames{param(0x11, "\x85"), switchFrame(2, true)} << 1 << 0x02;
    QTest::newRow("user-defined state")
        << Frames{param(0x11, "\x85"), param(0x15, QByteArray(1, 0)), switchFrame(2, true)} << 1
        << 0x85;
    QTest::newRow("user-defined state keeps interlocks")
        << Frames{param(0x1F, "\x01"), param(0x11, "\x07"), param(0x15, QByteArray(1, 0))} << 1
        << 0x06;
    QTest::newRow("pending switches dropped") << Frames{timedFrame(0x01, 0x01, 0x41)} << 1 << 0x00;
    QTest::newRow("new address") << Frames{parameterFrame(254, 0x10, "\x1A")} << 26 << 0x00;
}

void TestSimDevice::restart() {
    QFETCH(Frames, frames);
    QFETCH(int, address);
    QFETCH(int, channels);
    Device device;
    apply(device, frames);
    QCOMPARE(device.state().address, 1); // nothing takes effect before the restart
    device.restart();
    device.advance(10'000);
    QCOMPARE(device.state().address, address);
    QVERIFY(!device.state().pendingAddress);
    QCOMPARE(device.state().channels, channels);
    QVERIFY(device.state().pending.empty());
    // Only the new address is answered.
    const bool moved = address != 1;
    QCOMPARE(device.handleFrame(commandFrame(1, Cmd::StatusQuery, "\x01")).outcome,
             moved ? Device::Outcome::Ignored : Device::Outcome::Applied);
    QCOMPARE(device.handleFrame(commandFrame(quint8(address), Cmd::StatusQuery, "\x01")).outcome,
             Device::Outcome::Applied);
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_sim_device.moc"
