// veskctl as a user runs it: a process against the simulated controller on a pseudo-terminal.
#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "core/devicelink.h"
#include "core/frames.h"
#include "core/serialport.h"
#include "core/waits.h"
#include "support/pty.h"
#include "support/simprocess.h"

using namespace vesk;
using Frames = QList<QByteArray>;

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

// The console's data display and message seams, to see what an operation shows.
struct Display : EchoDisplay, MessageSink {
    QString text() const override { return m_text; }
    void setText(const QString& text) override { m_text = text; }
    void show(const Message&) override {}
    QString m_text;
};

} // namespace

class TestVeskctl : public QObject {
    Q_OBJECT

    SimProcess* m_sim = nullptr;

    Run run(const QStringList& args, const QString& com1 = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESKPANEL_COM1"), com1.isEmpty() ? m_sim->ptyPath() : com1);
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral(VESKCTL_BIN), args);
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()), clock.elapsed()};
    }
    // Frames the simulator received during `action`, as hex lines.
    template <typename F> QStringList receivedDuring(F action, int expected) {
        const qsizetype before = m_sim->received().size();
        action();
        m_sim->waitForReceived(int(before) + expected, 3000);
        QStringList hex;
        for (const SimFrame& frame : m_sim->received().mid(before))
            hex << frame.hex;
        return hex;
    }
    // All channels off, nothing pending; `ignore` makes the simulator ignore single switches.
    void reset(bool ignore) {
        m_sim->command("restart");
        QVERIFY(!m_sim->state().isEmpty()); // restarted before the switch arrives
        receivedDuring([&] { QCOMPARE(run({"switch", "--off", "1,2,3,4,5,6,7,8"}).code, 0); }, 1);
        m_sim->command(ignore ? "ignore-switches on" : "ignore-switches off");
        QVERIFY(!m_sim->state().isEmpty()); // the commands above are done
    }
    static QStringList lines(const Frames& frames) {
        QStringList list;
        for (const QByteArray& frame : frames)
            list << hexText(frame).trimmed();
        return list;
    }

private slots:
    void initTestCase() {
        m_sim = new SimProcess;
        QVERIFY(m_sim->isRunning());
    }
    void cleanupTestCase() { delete m_sim; }

    void commands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Frames>("frames");
        const std::array<int, 8> delays{0, 1, 255, 256, 1000, 65279, 7, 8};
        const auto row = [](const char* name, const char* args, Frames frames) {
            QTest::newRow(name) << QString::fromLatin1(args).split(QLatin1Char(' ')) << frames;
        };
        row("status", "status", {statusQueryFrame(1)});
        row("on", "on 3 8", {switchFrame(1, 3, true), switchFrame(1, 8, true)});
        row("off", "-a 1 off 2", {switchFrame(1, 2, false)});
        row("cycle", "cycle 4 --dwell 0", {switchFrame(1, 4, false), switchFrame(1, 4, true)});
        row("all-on", "all-on", {timedAllFrame(1, true)});
        row("all-off", "all-off", {timedAllFrame(1, false)});
        row("switch", "switch --on 1,3 --off 8 --after 5m",
            {multiSwitchFrame(1, 0x85, 0x05, timingCode(1, 5))});
        row("switch-now", "switch --off 2", {multiSwitchFrame(1, 0x02, 0, 0)});
        row("switch-hours", "switch --on 7 --after 15h",
            {multiSwitchFrame(1, 0x40, 0x40, timingCode(2, 15))});
        row("states", "states 1,3,8", {stateMaskFrame(1, 0x85)});
        row("states-none", "states none", {stateMaskFrame(1, 0)});
        row("delays-on", "delays on 0 1 255 256 1000 65279 7 8", {delayFrame(1, true, delays)});
        row("delays-off", "delays off 0 1 255 256 1000 65279 7 8", {delayFrame(1, false, delays)});
        row("interlock-set", "interlock set 5-6", {interlockPairFrame(1, 2, true)});
        row("interlock-clear", "interlock clear 1-2", {interlockPairFrame(1, 0, false)});
        row("interlocks", "interlocks 1-2,7-8", {interlockMaskFrame(1, 0x09)});
        row("interlocks-none", "interlocks none", {interlockMaskFrame(1, 0)});
        row("power-on-last", "power-on last", {powerOnModeFrame(1, false)});
        row("power-on-custom", "power-on custom 2,4",
            {powerOnModeFrame(1, true), stateMaskFrame(1, 0x0A)});
        row("keys-lock", "keys lock", {keyLockFrame(1, true)});
        row("keys-unlock", "keys unlock", {keyLockFrame(1, false)});
        row("set-address", "set-address 1", {addressFrame(1)});
        row("broadcast", "-b on 1", {switchFrame(254, 1, true)});
    }
    // Each line of --dry-run is what the console's data display shows after echoing that frame,
    // without its closing blank.
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(Frames, frames);
        SerialPortControl port;
        Waits waits;
        Display display;
        DeviceLink link(port, waits, display, display);
        QStringList shown;
        for (const QByteArray& frame : frames) {
            link.echo(frame);
            QVERIFY(display.text().endsWith(QLatin1Char(' ')));
            shown << display.text().chopped(1);
        }
        const Run dry = run(QStringList{"-n"} + args, "/nonexistent/x");
        QCOMPARE(dry.code, 0);
        QCOMPARE(dry.out, shown.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    // The same commands on the line, byte for byte (no read-back, so only the command's frames).
    void frames_data() { commands_data(); }
    void frames() {
        QFETCH(QStringList, args);
        QFETCH(Frames, frames);
        const QStringList seen = receivedDuring(
            [&] { QCOMPARE(run(QStringList{"--no-verify"} + args).code, 0); }, int(frames.size()));
        QCOMPARE(seen, lines(frames));
    }

    void readBack_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ignore");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const auto args = [](const char* text) { return QString::fromLatin1(text).split(' '); };
        QTest::newRow("on") << args("on 2 6") << false << 0 << "2 on\n";
        QTest::newRow("cycle") << args("cycle 2 --dwell 0.1") << false << 0 << "2 on\n";
        QTest::newRow("json") << args("--json off 2") << false << 0 << "\"exit\":0";
        QTest::newRow("ignored") << args("on 3") << true << 5 << "channel 3 is off, asked on";
        QTest::newRow("ignored-json") << args("--json on 2") << true << 5 << "\"exit\":5";
        QTest::newRow("no-verify") << args("--no-verify on 4") << true << 0 << "sent ";
        QTest::newRow("broadcast") << args("-b on 5") << true << 0 << "read-back off: broadcast";
        QTest::newRow("quiet") << args("-q on 1") << true << 5 << "veskctl: read-back differs";
    }
    void readBack() {
        QFETCH(QStringList, args);
        QFETCH(bool, ignore);
        QFETCH(int, code);
        QFETCH(QString, text);
        reset(ignore);
        Run r;
        receivedDuring([&] { r = run(args); }, 0);
        QCOMPARE(r.code, code);
        QVERIFY2((r.out + r.err).contains(text), qPrintable(r.out + r.err));
        if (args.contains(QStringLiteral("-q")))
            QVERIFY(r.out.isEmpty());
    }

    void statusJson() {
        reset(false);
        receivedDuring([&] { QCOMPARE(run({"on", "7"}).code, 0); }, 2);
        Run r;
        receivedDuring([&] { r = run({"--json", "status"}); }, 1);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("[false,false,false,false,false,false,true,false]"),
                 qPrintable(r.out));
    }

    // veskctl and the console append one JSON line per frame written and read.
    void journal_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("veskctl") << QString(VESKCTL_BIN);
        QTest::newRow("veskpanel") << QString(VESKPANEL_BIN);
    }
    void journal() {
        QFETCH(QString, program);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.jsonl"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(program, {"--journal", path, program.endsWith("veskctl") ? "-p" : "--com1",
                                m_sim->ptyPath(), "status"});
        const auto text = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(text().contains("\"dir\": \"in\""), 10000);
        process.terminate(); // the console runs until told to end; veskctl has ended already
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
        const QList<QByteArray> lines = text().split('\n');
        QVERIFY2(lines[0].contains("\"dir\": \"out\", \"hex\": \"CA 20 ") &&
                     lines[0].startsWith("{\"t\": \"20") &&
                     lines[0].contains(m_sim->ptyPath().toUtf8()),
                 lines[0].constData());
    }

    // A line where nobody answers: exit 4 once the timeout has passed, not long after.
    void noReply() {
        PtyPair silent;
        const Run r = run({"-t", "300", "status"}, silent.slavePath());
        QCOMPARE(r.code, 4);
        QVERIFY(r.err.contains("no reply"));
        QVERIFY2(r.ms >= 300 && r.ms < 2000, qPrintable(QString::number(r.ms)));
        QCOMPARE(run({"-t", "200", "on", "1"}, silent.slavePath()).code, 4);
    }

    // The reply as a device may give it: split by a pause on the line, or with other bytes than
    // the simulator's (only byte 4, the states, is read).
    void oddReplies_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("split");
        QTest::newRow("split") << statusReplyFrame(1, 0x05) << 2;
        QTest::newRow("odd bytes") << QByteArray::fromHex("00112233050F") << 6;
    }
    void oddReplies() {
        QFETCH(QByteArray, reply);
        QFETCH(int, split);
        PtyPair pty;
        QProcess process;
        process.start(VESKCTL_BIN, {"-p", pty.slavePath(), "status"});
        QVERIFY(pty.waitForFrames(1, 5000));
        pty.writeNow(reply.first(split));
        QTest::qWait(3 * SerialPortControl::QuietGapMs); // a pause the quiet gap cuts at
        pty.writeNow(reply.sliced(split));
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().startsWith("1 on\n2 off\n3 on\n4 off\n"));
    }

    // The line goes away between the off and the on of a cycle: an error, never a success.
    void lineLost() {
        PtyPair pty;
        QProcess process;
        process.start(VESKCTL_BIN, {"-p", pty.slavePath(), "cycle", "2", "--dwell", "1"});
        QVERIFY(pty.waitForFrames(1, 5000));
        pty.hangUp();
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 3);
        QVERIFY(process.readAllStandardError().contains("port failed"));
    }

    void openFailures_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"busy", "missing", "permission", "refused"})
            QTest::newRow(kind) << QString(kind);
    }
    void openFailures() {
        QFETCH(QString, kind);
        PtyPair pty;
        QSerialPort holder(pty.slavePath());
        QString port = pty.slavePath();
        if (kind == QLatin1String("busy"))
            QVERIFY(holder.open(QIODevice::ReadWrite));
        else if (kind == QLatin1String("missing"))
            port = QStringLiteral("/nonexistent/vesk-port");
        else if (kind == QLatin1String("refused"))
            port = QStringLiteral("tcp://127.0.0.1:1");
        else if (::geteuid() == 0)
            QSKIP("root opens any device whatever its permission bits");
        else
            QCOMPARE(::chmod(qPrintable(port), 0), 0);
        const Run r = run({"-p", port, "status"});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains(kind), qPrintable(r.err));
        QVERIFY(pty.allBytes().isEmpty());
    }

    // Bad input: exit 2 naming the value, and nothing reaches the line (the next frame the
    // simulator sees is the status query that follows).
    void badInput_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("bad");
        const auto row = [](const char* name, const char* args, const char* bad) {
            QTest::newRow(name) << QString(args) << QString(bad);
        };
        row("channel 0", "on 0", "'0'");
        row("channel 9", "off 2 9", "'9'");
        row("address 0", "-a 0 status", "'0'");
        row("address 255", "-a 255 on 1", "'255'");
        row("address abc", "-a abc on 1", "'abc'");
        row("delay 65280", "delays on 0 0 0 0 0 0 0 65280", "'65280'");
        row("delay -1", "delays off -1 0 0 0 0 0 0 0", "'-1'");
        row("delay 1.5", "delays on 1.5 0 0 0 0 0 0 0", "'1.5'");
        row("pair 2-3", "interlock set 2-3", "'2-3'");
        row("unknown", "reboot", "'reboot'");
        row("missing channel", "on", "missing argument");
        row("missing delays", "delays on 1 2", "usage: delays");
        row("set-address 255", "set-address 255", "'255'");
        row("after 16h", "switch --on 1 --after 16h", "'16h'");
        row("dwell elsewhere", "on 1 --dwell 3", "'--dwell'");
        row("port COM5", "-p COM5 status", "'COM5'");
        row("timeout 0", "-t 0 status", "'0'");
    }
    void badInput() {
        QFETCH(QString, args);
        QFETCH(QString, bad);
        const QStringList seen = receivedDuring(
            [&] {
                const Run r = run(args.split(QLatin1Char(' ')));
                QCOMPARE(r.code, 2);
                QVERIFY2(r.err.contains(bad) && r.err.count(QLatin1Char('\n')) == 1,
                         qPrintable(r.err));
                QCOMPARE(run({"status"}).code, 0);
            },
            1);
        QCOMPARE(seen, lines({statusQueryFrame(1)}));
    }
};

QTEST_GUILESS_MAIN(TestVeskctl)
#include "tst_veskctl.moc"
