// The simulated controller: frame parser, device model and the vesk-sim program end to end.
#include "bus.h"
#include "device.h"
#include "frameparser.h"
#include "statejson.h"

#include "core/frames.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "support/simprocess.h"

using namespace vesk::sim;

namespace {

using Frames = QList<QByteArray>;
using Checkpoints = QList<QPair<int, int>>; // device time in ms, expected channel byte
using L = QStringList;

const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
const auto cmd = [](quint8 command, std::initializer_list<quint8> data, quint8 address = 1) {
    return vesk::commandFrame(address, command,
                              QByteArrayView(data.begin(), qsizetype(data.size())));
};
const auto sw = [](quint8 ch, bool on, quint8 to = 1) { return cmd(0x18, {ch, on}, to); };
const auto timed = [](quint8 sel, quint8 on, quint8 code) { return cmd(0x19, {sel, on, code}); };
const auto param = [](quint8 p, const QByteArray& v) { return vesk::parameterFrame(1, p, v); };
const auto query = [](quint8 address = 1) { return cmd(Cmd::StatusQuery, {1}, address); };
const QByteArray powerCycle; // stands for a restart in a list of frames

const auto describe = [](const std::vector<ParseEvent>& events) {
    QStringList lines;
    for (const ParseEvent& event : events)
        lines << issueText(event.issue) + ": " + toHex(event.bytes);
    return lines;
};

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    // Each frame twice, fed byte by byte up to every split point and then the rest at once; data
    // bytes that look like the start and end bytes must not cut a frame.
    void parserFrame() {
        for (const char* text : {"CA 20 FE 20 01 01 F5", "CA 20 01 CC 04 00 11 01 AC AC",
                                 "CA 20 01 CC 05 00 20 02 CA 20 AC"}) {
            const QByteArray frame = hex(text), twice = frame + frame;
            for (qsizetype split = 0; split < twice.size(); ++split) {
                FrameParser parser;
                L events;
                for (qsizetype i = 0; i < split; ++i)
                    events << describe(parser.feed(twice.sliced(i, 1), i));
                events << describe(parser.feed(twice.sliced(split), split));
                QCOMPARE(events, L(2, "frame: " + toHex(frame)));
            }
        }
    }
    // Chunks are "time: hex"; "time:" alone asks for the expiry of a partial frame at that time.
    void parserStream_data() {
        QTest::addColumn<L>("chunks");
        QTest::addColumn<L>("expected");
        const auto row = [](const char* name, L in, L out) { QTest::newRow(name) << in << out; };
        const QString query = "frame: CA 20 01 20 01 01 F2";
        row("bad end byte", {"0: CA 20 01 CC 04 00 15 01 FF 21"},
            {"bad end byte: CA 20 01 CC 04 00 15 01 FF 21"});
        row("bad lengths", {"0: CA 00 CA 20 01 18 03 03 01 00 F5 CA 20 01 CC 05 00 15 01 FF AC"},
            {"garbage: CA 00", "bad length: CA 20 01 18 03", "garbage: 03 01 00 F5",
             "bad length: CA 20 01 CC 05 00 15 01", "garbage: FF AC"});
        row("unknown command", {"0: CA 20 01 55 02 01 02 BA"},
            {"unknown command: CA 20 01 55 02 01 02 BA"});
        row("cut short, next frame follows", {"0: CA 20 01 18 02 03", "5: CA 20 01 20 01 01 F2"},
            {"bad checksum: CA 20 01 18 02 03 CA 20", query});
        row("no expiry 50 ms after the last byte", {"0: CA 20 01", "40: 18", "90:"}, {});
        row("incomplete 50 ms after the last byte, frame inside",
            {"0: CA 20 01 55 FF CA 20 01", "40: 20 01 01 F2", "91:"},
            {"incomplete frame: CA 20 01 55 FF CA 20 01 20 01 01 F2", query});
    }
    void parserStream() {
        QFETCH(L, chunks);
        QFETCH(L, expected);
        FrameParser parser;
        L events;
        for (const QString& chunk : chunks) {
            const qint64 time = chunk.section(u':', 0, 0).toLongLong();
            const QByteArray bytes = QByteArray::fromHex(chunk.section(u':', 1).toLatin1());
            events << describe(bytes.isEmpty() ? parser.expire(time) : parser.feed(bytes, time));
        }
        QCOMPARE(events, expected);
    }
    // Channel states at points of device time after the frames, and all replies to them. With
    // several controllers on the line, each one's address and channels ("1:00 2:04") at the end.
    void switching_data() {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<Checkpoints>("checkpoints");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<double>("timeScale");
        QTest::addColumn<QString>("states");
        const auto row = [](const char* name, const Frames& frames, const Checkpoints& points,
                            const char* replies = "", double scale = 1) {
            QTest::newRow(name) << "1" << frames << points << hex(replies) << scale << "";
        };
        const auto line = [](const char* name, const char* addresses, const Frames& frames,
                             const char* replies, const char* states) {
            QTest::newRow(name) << addresses << frames << Checkpoints() << hex(replies) << 1.0
                                << states;
        };
        row("on and off, asked twice", {sw(3, 1), sw(8, 1), sw(3, 0), query(), query()},
            {{0, 0x80}}, "CA2001208074 CA2001208074");
        row("other address and 0 ignored",
            {sw(1, 1, 2), sw(2, 1, 0), sw(3, 1, 254), query(2), query(254)}, {{0, 0x04}},
            "CA20012004F0");
        row("pair mask bit 3, off leaves the partner",
            {param(0x1F, "\x08"), sw(8, 1), sw(1, 1), sw(2, 1), sw(7, 1), sw(8, 0)}, {{0, 0x43}});
        row("interlock on timed switching", {param(0x1F, "\x02"), timed(0x0C, 0x0C, 0x00)},
            {{0, 0x08}});
        row("0x01 on-delays 1..8 s", {timed(0xFF, 0xFF, 0x01)},
            {{99, 0x00}, {100, 0x01}, {799, 0x7F}, {800, 0xFF}}, "", 10);
        row("0x00 at once, 0x02 off-delays 8..1 s",
            {timed(0xFF, 0xFF, 0x00), timed(0xFF, 0x00, 0x02)},
            {{0, 0xFF}, {99, 0xFF}, {100, 0x7F}, {799, 0x01}, {800, 0x00}}, "", 10);
        row("0x45 seconds, replacing", {timed(0x81, 0x80, 0x45), timed(0x01, 0x01, 0x41)},
            {{999, 0}, {1000, 0x01}, {4999, 0x01}, {5000, 0x81}});
        row("0x81 minutes", {timed(0x02, 0x02, 0x81)}, {{999, 0}, {1000, 2}}, "", 60);
        row("0xFF 63 hours", {timed(0x04, 0x04, 0xFF)}, {{62999, 0}, {63000, 4}}, "", 3600);
        row("restart to the state before",
            {param(0x11, "\x85"), sw(2, 1), timed(0x01, 0x01, 0x41), powerCycle}, {{2000, 0x02}});
        row("restart with address 0",
            {param(0x10, hex("00")), powerCycle, cmd(0x19, {0xFF, 0xFF, 0}, 0), query(0)},
            {{0, 0xFF}}, "CA200020FFF6");
        line("only the addressed controller answers", "1-3",
             {sw(2, 1, 2), query(2), query(3), query(9)}, "CA20022002F1 CA20032000F2",
             "1:00 2:02 3:00");
        line("broadcast switch reaches all", "1,3,5-6", {sw(1, 1, 254), query(5)}, "CA20052001EF",
             "1:01 3:01 5:01 6:01");
        // Replies overlap byte for byte and a bit is 0 when any controller sends a 0.
        line("broadcast query, replies ANDed", "1-3",
             {sw(1, 1, 1), sw(2, 1, 2), sw(8, 1, 3), query(254)}, "CA2000200070", "1:01 2:02 3:80");
        line("broadcast address write, all take it", "1-3",
             {sw(1, 1, 1), sw(1, 1, 2), sw(2, 1, 2), sw(1, 1, 3), sw(8, 1, 3),
              vesk::parameterFrame(254, 0x10, "\x07"), powerCycle, query(1), query(7)},
             "CA2007200169", "7:01 7:03 7:81");
    }
    void switching() {
        QFETCH(QString, addresses);
        QFETCH(Frames, frames);
        QFETCH(Checkpoints, checkpoints);
        QFETCH(QByteArray, replies);
        QFETCH(double, timeScale);
        QFETCH(QString, states);
        Bus bus(parseAddresses(addresses).value(), timeScale);
        QByteArray received;
        for (const QByteArray& frame : frames)
            if (!frame.isEmpty())
                received += bus.handleFrame(frame).reply;
            else
                for (int i = 0; i < bus.size(); ++i)
                    bus.device(i).restart();
        QCOMPARE(received, replies);
        QStringList held;
        for (int i = 0; i < bus.size(); ++i) {
            const DeviceState& state = bus.device(i).state();
            QCOMPARE(state.malformed, 0u);
            held << QStringLiteral("%1:%2")
                        .arg(state.address)
                        .arg(int(state.channels), 2, 16, QLatin1Char('0'));
        }
        QCOMPARE(states.isEmpty() ? "" : held.join(u' '), states);
        for (const auto& [time, channels] : checkpoints) {
            bus.advanceTo(time);
            QVERIFY2(bus.device(0).state().channels == channels, qPrintable(QString::number(time)));
        }
    }
    // Address lists of --address and the console commands, in their compact form; empty: refused.
    void addresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("compact");
        for (const auto& [text, compact] :
             QList<QPair<const char*, const char*>>{{"1", "1"},
                                                    {"1-40", "1-40"},
                                                    {"1,3,5-9", "1,3,5-9"},
                                                    {" 9 - 7 ", ""},
                                                    {"0x10-0x12, 255,0", "0,16-18,255"},
                                                    {"5-9,1-6", "1-9"},
                                                    {"", ""},
                                                    {"1,,2", ""},
                                                    {"256", ""},
                                                    {"3-", ""},
                                                    {"-3", ""},
                                                    {"1-2-3", ""},
                                                    {"x", ""}})
            QTest::newRow(text) << text << compact;
    }
    void addresses() {
        QFETCH(QString, text);
        QFETCH(QString, compact);
        const auto list = parseAddresses(text);
        QCOMPARE(list ? addressesText(*list) : QString(), compact);
    }
    // One frame: the state changes as given (JSON), or the frame is rejected and only counted.
    void settingWrite_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("change"); // empty: rejected
        const auto row = [](const char* name, const QByteArray& frame, const char* change = "") {
            QTest::newRow(name) << frame << QByteArray(change);
        };
        row("on-delays", param(0x30, hex("0500").repeated(8)), R"({"onDelays":[5,5,5,5,5,5,5,5]})");
        row("off-delays, base 255", param(0x40, hex("FF00 0101 2D01 0002 1E0E 00FF FEFF 0000")),
            R"({"offDelays":[255,256,300,510,3600,65025,65279,0]})");
        // Values out of range: each rejected and only counted.
        for (const QByteArray& frame :
             {param(0x15, "\x05"), param(0x1F, "\x10"),
              param(0x30, hex("FFFF") + QByteArray(14, 0)),
              param(0x40, QByteArray(14, 0) + hex("FF01")), sw(0, 1), sw(9, 1),
              cmd(Cmd::SwitchChannel, {4, 2}), cmd(Cmd::KeyLock, {2}), param(0x12, "\x01"),
              param(0x11, "\x01\x02"), hex("CA2001CC0401110185AC"), hex("CA2001200102F1"),
              timed(0xFF, 0xFF, 0x03)})
            row(qPrintable("rejected " + toHex(frame)), frame);
    }
    void settingWrite() {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, change);
        Device device;
        QJsonObject expected = stateToJson(device);
        const auto result = device.handleFrame(frame);
        QCOMPARE(result.outcome == Device::Outcome::Applied, !change.isEmpty());
        QCOMPARE(result.reason.isEmpty(), !change.isEmpty());
        QVERIFY(result.reply.isEmpty());
        expected[u"framesReceived"] = 1;
        expected[u"malformed"] = change.isEmpty() ? 1 : 0;
        const QJsonObject changed = QJsonDocument::fromJson(change).object();
        for (auto it = changed.begin(); it != changed.end(); ++it)
            expected[it.key()] = it.value();
        QCOMPARE(stateToJson(device), expected);
    }
    void program() {
        SimProcess sim({QStringLiteral("--quiet")}); // its first line names the pseudo-terminal
        QVERIFY2(sim.ptyPath().startsWith(QLatin1Char('/')), qPrintable(sim.ptyPath()));
        QSerialPort port(sim.ptyPath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        // 9600 baud spreads six bytes over 5 * 1.04 ms; late reads merge some, so the best counts.
        double spreadMs = 0;
        const auto exchange = [&port, &spreadMs](const QByteArray& request) {
            QByteArray reply;
            port.write(request);
            for (QElapsedTimer clock; reply.size() < 6 && port.waitForReadyRead(1000);) {
                if (reply.isEmpty())
                    clock.start();
                reply += port.readAll();
                spreadMs = std::max(spreadMs, clock.nsecsElapsed() / 1e6);
            }
            return reply;
        };
        for (int attempt = 0; attempt < 5; ++attempt)
            QCOMPARE(exchange(hex("CA2001200101F2")), hex("CA20012000F4"));
        QVERIFY2(spreadMs >= 4.5, qPrintable(QString::number(spreadMs)));
        // A switch, a frame for another address and noise; the next query shows the switch.
        port.write(hex("CA200118020301F6 CA200218020101F7 0011"));
        QCOMPARE(exchange(hex("CA2001200101F2")), hex("CA20012004F0"));
        const QJsonObject state = sim.state();
        QCOMPARE(QList({state[u"channels"], state[u"ignored"], state[u"malformed"]}),
                 QList<QJsonValue>({4, 1, 1}));
        QVERIFY(sim.stop()); // "quit" ends it with exit code 0
    }
    // Started in the background by a script, the simulator has no input: it keeps serving the line
    // until a signal ends it, and then ends in order (its link removed).
    void runsWithoutInput_data() {
        QTest::addColumn<QString>("start"); // how a script starts it
        QTest::newRow("background job") << "\"$0\" --quiet --link \"$1\" &";
        QTest::newRow("from /dev/null") << "\"$0\" --quiet --link \"$1\" < /dev/null &";
        QTest::newRow("stdin closed") << "\"$0\" --quiet --link \"$1\" <&- &";
    }
    void runsWithoutInput() {
        QFETCH(QString, start);
        QTemporaryDir dir;
        const QString link = dir.filePath("line");
        QProcess script;
        script.start("sh", {"-c", start + " echo $!", qEnvironmentVariable("VESKSIM"), link});
        QVERIFY(script.waitForFinished(5000));
        const auto pid = pid_t(script.readAllStandardOutput().trimmed().toInt());
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 5000);
        QTest::qWait(300); // past the end of its input
        QSerialPort port(link);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write(query());
        QByteArray reply;
        while (reply.size() < 6 && port.waitForReadyRead(3000))
            reply += port.readAll();
        QCOMPARE(reply, hex("CA20012000F4"));
        port.close();
        QVERIFY(::kill(pid, SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(link), 3000);
    }
    // Forty controllers on one line; a muted one neither hears nor answers until unmuted. A
    // console command has been carried out once the state asked after it arrives.
    void programSeveral() {
        SimProcess sim({QStringLiteral("--quiet"), QStringLiteral("--address"), "1-40"});
        QSerialPort port(sim.ptyPath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        const auto ask = [&port](const QByteArray& frame, int timeoutMs = 3000) {
            QByteArray reply;
            port.write(frame);
            while (reply.size() < 6 && port.waitForReadyRead(timeoutMs))
                reply += port.readAll();
            return reply.toHex().toUpper();
        };
        port.write(sw(3, 1, 7));
        QCOMPARE(ask(query(7)), "CA20072004EA");
        QCOMPARE(ask(query(254)), "CA20002000C0"); // one six-byte transmission of all forty
        QCOMPARE(ask(query(41), 500), "");
        sim.command("mute 7,9 on");
        QCOMPARE(sim.state("9")[u"muted"], true);
        QCOMPARE(ask(sw(3, 0, 7) + query(7), 500), "");
        sim.command("mute 7 off");
        const QJsonArray all = sim.state()[u"controllers"].toArray();
        QCOMPARE(all.size(), 40);
        QCOMPARE(QList({all[6][u"muted"], all[8][u"muted"], all[0][u"framesReceived"],
                        all[6][u"framesReceived"]}),
                 QList<QJsonValue>({false, true, 6, 4}));
        QCOMPARE(ask(query(7)), "CA20072004EA");
        QVERIFY(sim.stop());
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
