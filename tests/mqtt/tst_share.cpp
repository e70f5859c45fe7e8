// The daemon's share of its line, with the real programs: vesk-mqtt holding the simulator's line
// (with a mosquitto broker), veskctl going through the share, and raw clients on the share's
// socket sending what a broken or hostile program would.
#include "broker.h"
#include "support/simprocess.h"

#include "core/frames.h"
#include "core/journal.h"
#include "core/share.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

struct Ran {
    int exitCode = -1;
    QString out, err;
    qint64 ms = 0;
};

Ran veskctl(const QStringList& arguments, const QStringList& prefix = {}) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    if (prefix.isEmpty())
        process.start(VESKCTL_BIN, arguments);
    else
        process.start(prefix.first(), prefix.mid(1) + QStringList{VESKCTL_BIN} + arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()), clock.elapsed()};
}

} // namespace

class TestShare : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_broker.start());
        m_link = m_dir.filePath(QStringLiteral("line"));
        m_sim = std::make_unique<SimProcess>(QStringList{"--link", m_link, "--address", "3"});
        QVERIFY(m_sim->isRunning());
        m_watch = std::make_unique<Subscriber>(m_broker, QStringList{"vesk/#"});
        startDaemon();
        QVERIFY2(m_watch->waitFor("vesk/rack/availability online", 10000), qPrintable(log()));
    }
    void cleanupTestCase() {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    // The same commands, exit codes and read-back as on a free line, with one note naming the
    // daemon; the published states follow a switch within a second.
    void throughShare_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("published"); // after the command, within 1 s
        QTest::newRow("on") << QStringList{"on", "3"} << 0 << "vesk/rack/channel/3 ON";
        QTest::newRow("status of an on channel") << QStringList{"status", "3"} << 0 << "";
        QTest::newRow("status of an off channel") << QStringList{"status", "7"} << 1 << "";
        QTest::newRow("off") << QStringList{"off", "3"} << 0 << "vesk/rack/channel/3 OFF";
        QTest::newRow("silent address") << QStringList{"-a", "9", "status"} << 4 << "";
    }
    void throughShare() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, published);
        const int before = m_watch->count(published);
        const Ran ran = veskctl(QStringList{"-p", m_link, "-a", "3"} + arguments);
        QCOMPARE(ran.exitCode, exitCode);
        QVERIFY2(ran.err.contains(viaNote()), qPrintable(ran.err));
        if (!published.isEmpty())
            QVERIFY2(m_watch->waitFor(published, 1000, before), qPrintable(log()));
        const Ran json = veskctl(QStringList{"-p", m_link, "-a", "3", "--json"} + arguments);
        QVERIFY2(json.out.contains("\"via\":\"" + viaNote() + "\""), qPrintable(json.out));
    }

    // The journal names the client, as the system tells it, for each frame it sent.
    void journalNamesClient() {
        const Ran ran = veskctl({"-p", m_link, "-a", "3", "on", "4"});
        QCOMPARE(ran.exitCode, 0);
        QFile journal(m_dir.filePath("journal"));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(journal.readAll());
        QVERIFY2(text.contains("\"hex\": \"CA 20 03 18 02 04 01 F3\", \"via\": \"share\", "
                               "\"client\": \"veskctl\", \"client_pid\": "),
                 qPrintable(text.right(600)));
    }

    // Nothing but whole, valid frames reaches the line; the client that sent anything else is
    // closed with one log line and the next one is served.
    void badClients_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("close"); // the client closes after sending
        QTest::addColumn<QString>("logged");
        QByteArray sum = vesk::switchFrame(3, 2, true);
        sum[sum.size() - 1] = char(sum.back() ^ 0x55);
        QByteArray end = vesk::stateMaskFrame(3, 0xFF);
        end[end.size() - 1] = 0x00;
        QByteArray long300 = vesk::commandFrame(3, 0x18, QByteArray(255, '\x01'));
        long300 += QByteArray(300 - long300.size(), '\x02');
        long300[long300.size() - 40] = 0; // no checksum anywhere near
        QTest::newRow("garbage") << QByteArray("hello\n") << false << "no frame start";
        QTest::newRow("wrong checksum") << sum << false << "bad checksum";
        QTest::newRow("parameter frame without end byte") << end << false << "bad end byte";
        QTest::newRow("300 bytes") << long300 << false << "bad checksum";
        QTest::newRow("half a frame, then silence")
            << vesk::switchFrame(3, 2, true).first(5) << false << "sent half a frame";
        QTest::newRow("half a frame, then gone")
            << vesk::switchFrame(3, 2, true).first(5) << true << "left in the middle of a frame";
    }
    void badClients() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, close);
        QFETCH(QString, logged);
        QTest::qWait(100); // the frames of the command before are in the simulator's log
        const int frames = m_sim->received().size();
        QLocalSocket client;
        QVERIFY(connectRaw(client));
        client.write(bytes);
        client.flush();
        if (close)
            client.disconnectFromServer();
        else
            QVERIFY(client.state() == QLocalSocket::UnconnectedState ||
                    client.waitForDisconnected(3000));
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains(logged), qPrintable(log()), 3000);
        QCOMPARE(client.bytesAvailable(), 0); // no text after the greeting
        QCOMPARE(m_sim->state().value("parseIssues").toObject(), QJsonObject());
        for (const SimFrame& frame : m_sim->received().mid(frames))
            QVERIFY2(frame.hex.startsWith("CA 20 03 20"), qPrintable(frame.hex)); // polls only
        QCOMPARE(veskctl({"-p", m_link, "-a", "3", "status"}).exitCode, 0);
    }

    // A client writing 1,000 frames at once takes one turn after another; another client and the
    // polls are served meanwhile, and the line sees whole frames only.
    void burst() {
        QLocalSocket flood;
        QVERIFY(connectRaw(flood));
        QByteArray frames;
        for (int i = 0; i < 1000; ++i)
            frames += vesk::switchFrame(3, 1 + i % 2, i % 4 < 2);
        flood.write(frames);
        flood.flush();
        QVERIFY(m_sim->waitForReceived(m_sim->received().size() + 20, 3000));
        const int polls = pollCount();
        const Ran other = veskctl({"-p", m_link, "-a", "3", "status"});
        QCOMPARE(other.exitCode, 0);
        QVERIFY2(other.ms < 3000, qPrintable(QString::number(other.ms)));
        QTRY_VERIFY_WITH_TIMEOUT(pollCount() > polls + 2, 3000);
        // Stopped, it switches nothing more: what it sent and is not yet on the line goes with it.
        flood.abort();
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains("were not written"), qPrintable(log().right(500)),
                                  2000);
        QCOMPARE(m_sim->state().value("parseIssues").toObject(), QJsonObject());
    }

    // A user outside the device's group is refused with the reason, before any frame.
    void otherUser() {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is not installed: cannot run the client as another user");
        const Ran ran = veskctl({"-p", m_sim->ptyPath(), "-a", "3", "on", "2"},
                                {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        QCOMPARE(ran.exitCode, 3);
        QVERIFY2(ran.err.contains("may not use its share"), qPrintable(ran.err));
    }

    // The daemon ends while a client is in a command: the client says so within 2 s (exit 4, its
    // frame had left), no half frame is on the line, and the next client opens the port itself.
    void daemonEnds_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void daemonEnds() {
        QFETCH(int, signal);
        QProcess client;
        client.start(VESKCTL_BIN, {"-p", m_link, "-a", "3", "cycle", "5", "--dwell", "3"});
        const QString off = vesk::hexText(vesk::switchFrame(3, 5, false)).trimmed();
        QTRY_COMPARE_WITH_TIMEOUT(lastSwitch(), off, 5000);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(m_daemon.processId()), signal);
        QVERIFY(client.waitForFinished(2500));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(client.exitCode(), 4);
        const QString err = QString::fromUtf8(client.readAllStandardError());
        QVERIFY2(err.contains("the share closed (" + viaNote() + ")"), qPrintable(err));
        m_daemon.waitForFinished(3000);
        QCOMPARE(m_sim->state().value("parseIssues").toObject(), QJsonObject());
        const Ran direct = veskctl({"-p", m_link, "-a", "3", "on", "5"});
        QCOMPARE(direct.exitCode, 0);
        QVERIFY2(!direct.err.contains("through"), qPrintable(direct.err));
        startDaemon();
        QVERIFY(QTest::qWaitFor([&] { return log().count("serving on") >= 1; }, 5000));
    }

    // A daemon that stops answering before the client's frame left: the client exits 3 naming
    // it, and its frame never reaches the line.
    void beforeFrameLeft() {
        const int frames = m_sim->received().size();
        ::kill(pid_t(m_daemon.processId()), SIGSTOP);
        const Ran ran = veskctl({"-p", m_link, "-a", "3", "on", "6"});
        ::kill(pid_t(m_daemon.processId()), SIGCONT);
        QCOMPARE(ran.exitCode, 3);
        QVERIFY2(ran.ms < 3000, qPrintable(QString::number(ran.ms)));
        QVERIFY2(ran.err.contains("(vesk-mqtt), whose share"), qPrintable(ran.err));
        const QString on6 = vesk::hexText(vesk::switchFrame(3, 6, true)).trimmed();
        for (const SimFrame& frame : m_sim->received().mid(frames))
            QVERIFY(frame.hex != on6);
    }

    // A client waiting for a daemon that does not answer (stopped) gets the line once a new one
    // serves it, or directly once the old one is gone.
    void waitsThroughRestart() {
        ::kill(pid_t(m_daemon.processId()), SIGSTOP);
        QProcess client;
        client.start(VESKCTL_BIN, {"-p", m_link, "-a", "3", "--wait", "20", "status"});
        QTest::qWait(2500);
        QCOMPARE(client.state(), QProcess::Running);
        ::kill(pid_t(m_daemon.processId()), SIGKILL);
        m_daemon.waitForFinished(3000);
        startDaemon();
        QVERIFY(client.state() == QProcess::NotRunning || client.waitForFinished(15000));
        QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
    }

    // A site without a broker: the daemon owns and shares the line and connects nowhere.
    void withoutBroker() {
        m_daemon.terminate();
        QVERIFY(m_daemon.waitForFinished(5000));
        startDaemon(false);
        const Ran ran = veskctl({"-p", m_link, "-a", "3", "on", "6"});
        QCOMPARE(ran.exitCode, 0);
        QVERIFY2(ran.err.contains(viaNote()), qPrintable(ran.err));
        QTRY_COMPARE(lastSwitch(), vesk::hexText(vesk::switchFrame(3, 6, true)).trimmed());
        QVERIFY(m_sim->state().value("channels").toInt() & (1 << 5));
        QVERIFY2(log().contains("no [broker]: lines are shared only, nothing is published") &&
                     !log().contains("broker 127.0.0.1"),
                 qPrintable(log()));
    }

private:
    void startDaemon(bool broker = true) {
        const QString config = m_dir.filePath("vesk-mqtt.conf");
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (broker)
            file.write(
                QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\nclient_id = share\n\n")
                    .arg(m_broker.port())
                    .toUtf8());
        file.write(
            QStringLiteral("[controller rack]\nport = %1\naddress = 3\npoll_interval = 0.5\n")
                .arg(m_link)
                .toUtf8());
        file.close();
        m_log.clear();
        m_daemon.start(QStringLiteral(VESK_MQTT_BIN),
                       {"--config", config, "--verbose", "--journal", m_dir.filePath("journal")});
        QVERIFY(m_daemon.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return log().contains("serving on"); }, 5000),
                 qPrintable(log()));
    }
    QString log() { return m_log += QString::fromUtf8(m_daemon.readAllStandardError()); }
    QString viaNote() const {
        return vesk::share::viaText(QStringLiteral("vesk-mqtt"), m_daemon.processId());
    }
    // Connects as a program that found the share itself, and reads the greeting.
    bool connectRaw(QLocalSocket& socket) {
        const QString port = QFileInfo(m_link).canonicalFilePath();
        const auto pointer = vesk::share::readPointer(port);
        if (!pointer)
            return false;
        socket.connectToServer(pointer->socket);
        if (!socket.waitForConnected(2000))
            return false;
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(2000))
                return false;
        const auto greeting = vesk::share::parseGreeting(socket.readLine());
        return greeting && greeting->refusal.isEmpty() && greeting->port == port &&
               greeting->pid == m_daemon.processId();
    }
    int pollCount() {
        int n = 0;
        for (const SimFrame& frame : m_sim->received())
            n += frame.hex.startsWith("CA 20 03 20") ? 1 : 0;
        return n;
    }
    QString lastSwitch() {
        const QList<SimFrame> frames = m_sim->received();
        for (auto it = frames.crbegin(); it != frames.crend(); ++it)
            if (!it->hex.startsWith("CA 20 03 20"))
                return it->hex;
        return {};
    }

    QTemporaryDir m_dir;
    QString m_link;
    Broker m_broker;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Subscriber> m_watch;
    QProcess m_daemon;
    QString m_log;
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
