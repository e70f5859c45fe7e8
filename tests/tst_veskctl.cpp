// veskctl as a user runs it: a process against the simulated controller on a pseudo-terminal.
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
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
    QString m_program = QStringLiteral(VESKCTL_BIN);

    Run run(const QStringList& args, const QString& com1 = {}) {
        QProcess process;
        start(process, args, com1);
        QElapsedTimer clock;
        clock.start();
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()), clock.elapsed()};
    }
    void start(QProcess& process, const QStringList& args, const QString& com1 = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESKPANEL_COM1"), com1.isEmpty() ? m_sim->ptyPath() : com1);
        process.setProcessEnvironment(env);
        process.start(m_program, args);
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
    // All channels off but those `before` switches on, nothing pending; `ignore` makes the
    // simulator ignore single switches from then on.
    void reset(bool ignore, const QString& before = {}) {
        m_sim->command("restart");
        m_sim->command("ignore-switches off");
        QVERIFY(!m_sim->state().isEmpty()); // restarted before the switch arrives
        receivedDuring([&] { QCOMPARE(run({"switch", "--off", "1,2,3,4,5,6,7,8"}).code, 0); }, 1);
        if (!before.isEmpty())
            receivedDuring([&] { QCOMPARE(run(before.split(' ')).code, 0); }, 2);
        if (ignore)
            m_sim->command("ignore-switches on");
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
        row("set-address", "-b set-address 1", {addressFrame(1)});
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

    // Read-back, status exit codes and what the output says. `before` runs before the simulator
    // starts ignoring switches; `absent` must not reach the simulator.
    void readBack_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ignore");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("absent");
        const auto row = [](const char* name, const char* before, const char* args, bool ignore,
                            int code, const char* text, QByteArray absent = {}) {
            QTest::newRow(name) << QString(before) << QString(args).split(' ') << ignore << code
                                << QString(text) << absent;
        };
        row("on", "", "on 2 6", false, 0, "2 on\n");
        row("cycle", "", "cycle 2 --dwell 0.1", false, 0, "2 on\n");
        row("json", "", "--json off 2", false, 0, "\"exit\":0");
        row("ignored", "", "on 3", true, 5, "channel 3 is off, asked on");
        row("ignored-json", "", "--json on 2", true, 5, "\"exit\":5");
        row("no-verify", "", "--no-verify on 4", true, 0, "sent ");
        row("broadcast", "", "-b on 5", true, 0, "read-back off: broadcast");
        row("quiet", "", "-q on 1", true, 5, "veskctl: read-back differs");
        row("never cut", "on 3", "cycle 3 --dwell 1", true, 5,
            "the power was never cut: channel 3 is on", switchFrame(1, 3, true));
        // Nobody answers at address 9: both failures in the JSON "error", no on frame.
        row("off unread", "", "--json -a 9 -t 300 cycle 1 --dwell 0", false, 4,
            "within 300 ms; cycle 1 stopped after the off", switchFrame(9, 1, true));
        row("status on", "on 3", "status 3", false, 0, "3 on\n");
        row("status off", "", "status 3", false, 1, "3 off\n");
        row("status mixed", "on 3", "-q status 3 4", false, 1, "");
        row("status json", "on 3", "--json status 3", false, 0,
            "\"command\":\"status\",\"channels\":[false,false,true,false,false,false,false,false]"
            "}");
        row("broadcast status", "", "-b status", false, 0,
            "whichever controller answered (address 1)");
        row("stored", "", "delays off 0 0 0 0 0 0 0 0", false, 0, "only after they are restarted");
    }
    void readBack() {
        QFETCH(QString, before);
        QFETCH(QStringList, args);
        QFETCH(bool, ignore);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QByteArray, absent);
        reset(ignore, before);
        Run r;
        const QStringList seen = receivedDuring([&] { r = run(args); }, 0);
        QCOMPARE(r.code, code);
        QVERIFY2((r.out + r.err).contains(text), qPrintable(r.out + r.err));
        if (args.contains(QStringLiteral("-q")))
            QVERIFY(r.out.isEmpty());
        if (!absent.isEmpty())
            QVERIFY2(!seen.contains(hexText(absent).trimmed()), qPrintable(seen.join(',')));
    }

    // A signal ends the command after the frame being written: the exit code tells which, the
    // message what was left, and the journal holds what went out (the off and its read-back).
    void interrupt_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void interrupt() {
        QFETCH(int, signal);
        reset(false, QStringLiteral("on 3"));
        QTemporaryDir dir;
        const QString journal = dir.filePath(QStringLiteral("j"));
        QProcess process;
        start(process, {"--journal", journal, "cycle", "3", "--dwell", "30"});
        const auto journalLines = [&] {
            QFile file(journal);
            return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n')
                                                  : QList<QByteArray>{};
        };
        QTRY_VERIFY_WITH_TIMEOUT(journalLines().size() > 3,
                                 10000); // off, query, reply: in the dwell
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 128 + signal);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.contains("cycle 3 interrupted after the off: channel 3 left OFF"),
                 qPrintable(err));
        QStringList out;
        for (const QByteArray& line : journalLines()) {
            if (line.contains("\"dir\": \"out\""))
                out << QString::fromLatin1(line.mid(line.indexOf("\"hex\"") + 8).chopped(2));
        }
        QCOMPARE(out, lines({switchFrame(1, 3, false), statusQueryFrame(1)}));
    }

    // Eight jobs on one port at once, each queueing for it: all get it, all eight channels on.
    void queue() {
        reset(false);
        // No pair interlocked: every channel can be on.
        for (const char* args : {"interlocks none", "interlock clear 1-2", "interlock clear 3-4",
                                 "interlock clear 5-6", "interlock clear 7-8"})
            QCOMPARE(run(QString(args).split(' ')).code, 0);
        std::array<QProcess, 8> jobs;
        for (int n = 0; n < 8; ++n)
            start(jobs[size_t(n)], {"-q", "--wait", "30", "on", QString::number(n + 1)});
        for (QProcess& job : jobs) {
            QVERIFY(job.waitForFinished(40000));
            QVERIFY2(job.exitCode() == 0, job.readAllStandardError().constData());
        }
        QCOMPARE(run({"status"}).out, QString("1 on\n2 on\n3 on\n4 on\n5 on\n6 on\n7 on\n8 on\n"));
    }
    // Waiting behind a holder costs (almost) nothing however old its lock file is: veskctl asks
    // the lock file who holds the port instead of trying to open it (which, past 30 s, makes and
    // removes a file in the lock folder at each try and wakes every waiter watching it, itself
    // included). The queue file beside the lock belongs to the device's group, writable by it
    // alone, and a world-writable one left by an earlier version is put right.
    void waitCostsNothing_data() {
        QTest::addColumn<int>("lockAgeS");
        QTest::addColumn<bool>("oldQueueFile"); // a world-writable queue file is there already
        QTest::newRow("lock two minutes old") << 120 << false;
        QTest::newRow("old lock, world-writable queue") << 120 << true;
    }
    void waitCostsNothing() {
        QFETCH(int, lockAgeS);
        QFETCH(bool, oldQueueFile);
        PtyPair pty;
        QSerialPort holder(pty.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const QString lock = SerialPortControl::lockFilePathFor(pty.slavePath());
        const QByteArray queue = QFile::encodeName(lock + ".queue");
        const timespec old[2] = {{std::time(nullptr) - lockAgeS, 0},
                                 {std::time(nullptr) - lockAgeS, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(lock).constData(), old, 0), 0);
        ::unlink(queue.constData());
        const auto removeQueue = qScopeGuard([&] { ::unlink(queue.constData()); });
        if (oldQueueFile) {
            QVERIFY(QFile(queue).open(QIODevice::WriteOnly));
            QCOMPARE(::chmod(queue.constData(), 0666), 0);
        }
        // CPU time of the veskctl runs that ended meanwhile, in milliseconds.
        const auto childCpuMs = [] {
            rusage usage{};
            ::getrusage(RUSAGE_CHILDREN, &usage);
            return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
        };
        const auto waitFor = [&](int seconds) {
            const auto before = childCpuMs();
            const Run r =
                run({"-p", pty.slavePath(), "--wait", QString::number(seconds), "status"});
            [&] {
                QCOMPARE(r.code, 3);
                QVERIFY2(r.err.contains("busy, in use by process"), qPrintable(r.err));
            }();
            return childCpuMs() - before;
        };
        const auto shortWait = waitFor(1);
        const auto longWait = waitFor(5);
        // Four more seconds of waiting: under 1 % of a core is 40 ms.
        QVERIFY2(longWait - shortWait < 40,
                 qPrintable(QStringLiteral("%1 ms against %2 ms").arg(longWait).arg(shortWait)));
        QVERIFY(pty.allBytes().isEmpty());
        struct stat file {
        }, device{};
        QCOMPARE(::stat(queue.constData(), &file), 0);
        QCOMPARE(::stat(QFile::encodeName(pty.slavePath()).constData(), &device), 0);
        // Only a member of the device's group (or root) can give the file that group; anyone
        // else keeps it to themselves.
        gid_t groups[256];
        const int count = ::getgroups(256, groups);
        const bool member = ::geteuid() == 0 || ::getegid() == device.st_gid ||
                            std::find(groups, groups + std::max(count, 0), device.st_gid) !=
                                groups + std::max(count, 0);
        QCOMPARE(file.st_mode & 0777, mode_t(member ? 0660 : 0600));
        if (member)
            QCOMPARE(file.st_gid, device.st_gid);
    }
    // veskctl and the console append one JSON line per frame written and read, saying who: one
    // device reached under two names (a link, its device) is one port in the record.
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
        const bool ctl = program.endsWith("veskctl");
        QVERIFY(QFile::link(m_sim->ptyPath(), dir.filePath(QStringLiteral("ttyLINK"))));
        // veskctl by the link's name relative to its working folder, as the completion offers it.
        process.setWorkingDirectory(dir.path());
        QStringList args{"--journal", path, ctl ? "-p" : "--com1",
                         ctl ? QStringLiteral("ttyLINK") : m_sim->ptyPath()};
        process.start(program, ctl ? args << "status" : args);
        const qint64 pid = process.processId();
        const auto text = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(text().contains("\"dir\": \"in\""), 10000);
        process.terminate(); // the console runs until told to end; veskctl has ended already
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
        const QList<QByteArray> lines = text().split('\n');
        const QByteArray who = QStringLiteral("\"prog\": \"%1\", \"pid\": %2, \"user\": \"")
                                   .arg(QFileInfo(program).fileName())
                                   .arg(pid)
                                   .toUtf8();
        QVERIFY2(lines[0].contains(who) &&
                     lines[0].contains("\"port\": \"" + m_sim->ptyPath().toUtf8() +
                                       "\", \"dir\": \"out\", \"hex\": \"CA 20 ") &&
                     lines[0].startsWith("{\"t\": \"20"),
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
        QCOMPARE(run({"-t", "200", "status", "3"}, silent.slavePath()).code, 4);
    }

    // The reply as a device may give it. A pause shorter than the quiet gap (a USB adapter's
    // latency timer, a TCP hop) leaves one reply; a longer one cuts it, and veskctl joins the
    // pieces. A reply from the address asked with its checksum right is taken at its sixth byte
    // (bytes following it are not part of it); any other six bytes wait for the quiet gap, so
    // that bytes following them make a batch that is no reply. Only a valid reply tells the
    // states: six other bytes are noise, and a reply after them still counts.
    void oddReplies_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("batches"); // journal lines "in" (-1: a loaded machine decides)
        const QByteArray reply = statusReplyFrame(1, 0x05);
        QByteArray badSum = reply;
        badSum[5] = char(badSum[5] ^ 0x40);
        const int gap = SerialPortControl::QuietGapMs;
        QTest::newRow("paused under the gap") << reply.first(3) << 8 << reply.sliced(3) << 0 << 1;
        QTest::newRow("paused over the gap")
            << reply.first(2) << 3 * gap << reply.sliced(2) << 0 << -1;
        QTest::newRow("odd bytes")
            << QByteArray::fromHex("00112233050F") << 0 << QByteArray() << 4 << 1;
        QTest::newRow("odd bytes, then the reply")
            << QByteArray::fromHex("00112233050F") << 3 * gap << reply << 0 << 2;
        QTest::newRow("taken at byte 6") << reply << 5 << QByteArray(2, 0) << 0 << -1;
        QTest::newRow("bad checksum") << badSum << 5 << QByteArray(2, 0) << 4 << 1;
        QTest::newRow("other address")
            << statusReplyFrame(2, 0x05) << 5 << QByteArray(2, 0) << 4 << 1;
    }
    void oddReplies() {
        QFETCH(QByteArray, first);
        QFETCH(int, pauseMs);
        QFETCH(QByteArray, second);
        QFETCH(int, code);
        QFETCH(int, batches);
        PtyPair pty;
        QTemporaryDir dir;
        QProcess process;
        process.start(VESKCTL_BIN, {"-p", pty.slavePath(), "-t", "500", "--journal",
                                    dir.filePath("j"), "status"});
        QVERIFY(pty.waitForFrames(1, 5000));
        // The pause counts from veskctl's reading the first part; no event processing meanwhile.
        // A first part shorter than a reply is not read at all: the driver keeps it until the
        // sixth byte, so veskctl is not woken for every piece.
        pty.writeNow(first);
        const bool piece = first.size() < vesk::StatusReplyLength;
        QElapsedTimer clock;
        clock.start();
        // (The bytes reach the reading side a moment after the write.)
        while (pty.unreadByConsole() == 0 && clock.elapsed() < 2)
            ::usleep(50);
        while (!piece && pty.unreadByConsole() > 0 && clock.elapsed() < 5000)
            ::usleep(100);
        ::usleep(useconds_t(pauseMs * 1000));
        if (piece)
            QCOMPARE(pty.unreadByConsole(), first.size());
        pty.writeNow(second);
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), code);
        if (code == 0)
            QVERIFY(process.readAllStandardOutput().startsWith("1 on\n2 off\n3 on\n4 off\n"));
        QFile journal(dir.filePath("j"));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        if (batches >= 0)
            QCOMPARE(journal.readAll().count("\"dir\": \"in\""), batches);
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

    // A port that does not open: exit 3 naming why, nothing written. A port held by another
    // program is busy at once, or after --wait has passed; a ser2net serving another client
    // is busy too.
    void openFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("wait");
        for (const char* kind : {"busy", "missing", "permission", "refused"})
            QTest::newRow(kind) << QString(kind) << 0;
        QTest::newRow("busy after waiting") << QString("busy") << 1;
        QTest::newRow("server") << QString("serving another client") << 0;
        QTest::newRow("server after waiting") << QString("serving another client") << 1;
        // A copy of the program away from the build and install trees finds no TCP module.
        QTest::newRow("no tcp module") << QString("TCP ports are not available") << 0;
    }
    void openFailures() {
        QFETCH(QString, kind);
        QFETCH(int, wait);
        PtyPair pty;
        QSerialPort holder(pty.slavePath());
        QString port = pty.slavePath();
        QProcess ser2net;
        QTcpSocket client;
        QTemporaryDir copy;
        const auto restore = qScopeGuard([this] { m_program = QStringLiteral(VESKCTL_BIN); });
        if (kind == QLatin1String("busy")) {
            QVERIFY(holder.open(QIODevice::ReadWrite));
        } else if (kind == QLatin1String("missing")) {
            port = QStringLiteral("/nonexistent/vesk-port");
        } else if (kind == QLatin1String("refused")) {
            port = QStringLiteral("tcp://127.0.0.1:1");
        } else if (kind.startsWith(QLatin1String("TCP"))) {
            port = QStringLiteral("tcp://127.0.0.1:1");
            m_program = copy.filePath(QStringLiteral("veskctl"));
            QVERIFY(QFile::copy(QStringLiteral(VESKCTL_BIN), m_program));
        } else if (kind.startsWith(QLatin1String("serving"))) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            const quint16 tcpPort = probe.serverPort();
            probe.close();
            ser2net.start("ser2net", {"-n", "-Y",
                                      QStringLiteral("connection: &v#  accepter: tcp,127.0.0.1,%1#"
                                                     "  connector: serialdev,%2,9600n81,local")
                                          .arg(tcpPort)
                                          .arg(port)});
            QVERIFY(QTest::qWaitFor(
                [&] {
                    client.connectToHost(QHostAddress::LocalHost, tcpPort);
                    return client.waitForConnected(100);
                },
                5000));
            port = QStringLiteral("tcp://127.0.0.1:%1").arg(tcpPort);
        } else if (::geteuid() == 0) {
            QSKIP("root opens any device whatever its permission bits");
        } else {
            QCOMPARE(::chmod(qPrintable(port), 0), 0);
        }
        const Run r = run({"-p", port, "--wait", QString::number(wait), "status"});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains(kind), qPrintable(r.err));
        QVERIFY2(r.ms >= wait * 1000 && r.ms < wait * 1000 + 3000,
                 qPrintable(QString::number(r.ms)));
        QVERIFY(pty.allBytes().isEmpty());
        ser2net.terminate();
        ser2net.waitForFinished(3000);
    }

    // COMn names one device for every script: where its mapping is not a port, veskctl and
    // vesk-mqtt both refuse it, with the same reason, instead of each going its own way.
    void comMappingShared_data() {
        QTest::addColumn<QString>("environment"); // VESKPANEL_COM2
        QTest::addColumn<QString>("saved");       // ports/COM2 in the settings file
        QTest::addColumn<QString>("reason");
        QTest::newRow("environment") << "ftp://x"
                                     << "/dev/ttyS7"
                                     << "VESKPANEL_COM2 \"ftp://x\" is not a port";
        QTest::newRow("saved choice") << ""
                                      << "ttyS9"
                                      << "\"ttyS9\" is not a port";
    }
    void comMappingShared() {
        QFETCH(QString, environment);
        QFETCH(QString, saved);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("veskpanel"));
        QFile settings(dir.filePath("veskpanel/veskpanel.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[ports]\nCOM2=" + saved.toUtf8() + "\n");
        settings.close();
        QFile config(dir.filePath("mqtt.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[broker]\nhost = h\n[controller a]\nport = COM2\n");
        config.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        env.remove("VESKPANEL_COM2");
        if (!environment.isEmpty())
            env.insert("VESKPANEL_COM2", environment);
        QStringList said;
        for (const auto& [program, args] :
             {std::pair{QString(VESKCTL_BIN), QStringList{"-p", "COM2", "status"}},
              std::pair{QString(VESK_MQTT_BIN),
                        QStringList{"--check-config", "--config", config.fileName()}}}) {
            QProcess process;
            process.setProcessEnvironment(env);
            process.start(program, args);
            QVERIFY(process.waitForFinished(10000));
            const QString err =
                QString::fromUtf8(process.readAllStandardError() + process.readAllStandardOutput());
            QCOMPARE(process.exitCode(), 2);
            QVERIFY2(err.contains(reason), qPrintable(err));
            said << err.mid(err.indexOf(reason));
        }
        QCOMPARE(said[0].section(';', 0, 0), said[1].section(';', 0, 0));
    }

    // Bad input: exit 2 naming the value, in JSON too with --json, and nothing reaches the line
    // (the next frame the simulator sees is the status query that follows).
    void badInput_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("com1");
        const auto row = [](const char* name, const char* args, const char* bad,
                            const char* com1 = "") {
            QTest::newRow(name) << QString(args) << QString(bad) << QString(com1);
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
        row("set-address 255", "-b set-address 255", "'255'");
        row("set-address 254", "-b set-address 254", "'254'");
        row("set-address without -b", "set-address 5", "give -b");
        row("after 16h", "switch --on 1 --after 16h", "'16h'");
        row("dwell elsewhere", "on 1 --dwell 3", "'--dwell'");
        row("port COM5", "-p COM5 status", "'COM5'");
        row("COM1 not a port", "-p COM1 status", "VESKPANEL_COM1 \"ftp://x\"", "ftp://x");
        row("timeout 0", "-t 0 status", "'0'");
        row("wait -1", "--wait -1 status", "'-1'");
    }
    void badInput() {
        QFETCH(QString, args);
        QFETCH(QString, bad);
        QFETCH(QString, com1);
        const QStringList seen = receivedDuring(
            [&] {
                const Run r = run(args.split(QLatin1Char(' ')), com1);
                QCOMPARE(r.code, 2);
                QVERIFY2(r.err.contains(bad) && r.err.count(QLatin1Char('\n')) == 1,
                         qPrintable(r.err));
                const Run json = run(QStringList{"--json"} + args.split(QLatin1Char(' ')), com1);
                const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
                QCOMPARE(object.value("exit").toInt(), 2);
                QVERIFY(object.value("error").toString().contains(bad));
                QCOMPARE(run({"status"}).code, 0);
            },
            1);
        QCOMPARE(seen, lines({statusQueryFrame(1)}));
    }
};

QTEST_GUILESS_MAIN(TestVeskctl)
#include "tst_veskctl.moc"
