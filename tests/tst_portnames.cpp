// The port forms, the reasons a port does not open, the lock shared by a device's names and the
// framing of bytes that arrive over TCP.
#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "core/frames.h"
#include "core/line.h"
#include "core/portchoice.h"
#include "core/portlocation.h"
#include "core/portreasons.h"
#include "core/serialport.h"
#include "support/pty.h"

using vesk::ComMapping;
using vesk::Line;
using vesk::PortError;
using Outcome = vesk::ReplyJoiner::Outcome;
using vesk::PortLocation;
using vesk::SerialPortControl;
using Kind = PortLocation::Kind;

class TestPortNames : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("normalised"); // text() of the result, or part of the reason
        const int D = int(Kind::Device), W = int(Kind::WindowsCom), T = int(Kind::Tcp);
        QTest::newRow("device") << " /dev/ttyUSB0 " << true << D << "/dev/ttyUSB0";
        QTest::newRow("com") << "com3" << true << W << "COM3";
        QTest::newRow("tcp") << "tcp://127.0.0.1:4001" << true << T << "tcp://127.0.0.1:4001";
        QTest::newRow("tcp name") << "TCP://rack-7.lan:65535" << true << T
                                  << "tcp://rack-7.lan:65535";
        QTest::newRow("tcp ipv6") << "tcp://[::1]:2000" << true << T << "tcp://[::1]:2000";
        QTest::newRow("empty") << "  " << false << 0 << "no port";
        QTest::newRow("relative") << "ttyUSB0" << false << 0 << "device path";
        QTest::newRow("folder") << "/dev/" << false << 0 << "folder";
        QTest::newRow("com999") << "Com999" << true << W << "COM999";
        QTest::newRow("com0") << "COM0" << false << 0 << "device path";
        QTest::newRow("com01") << "COM01" << false << 0 << "device path";
        QTest::newRow("com1000") << "COM1000" << false << 0 << "device path";
        QTest::newRow("com alone") << "COM" << false << 0 << "device path";
        QTest::newRow("udp") << "udp://h:1" << false << 0 << "only tcp://";
        QTest::newRow("no port") << "tcp://host" << false << 0 << ":PORT";
        QTest::newRow("empty host") << "tcp://:4001" << false << 0 << "host is empty";
        QTest::newRow("port 0") << "tcp://h:0" << false << 0 << "1 to 65535";
        QTest::newRow("port big") << "tcp://h:65536" << false << 0 << "1 to 65535";
        QTest::newRow("port text") << "tcp://h:12ab" << false << 0 << "1 to 65535";
        QTest::newRow("port sign") << "tcp://h:+80" << false << 0 << "1 to 65535";
        QTest::newRow("port 6 digits") << "tcp://h:000080" << false << 0 << "1 to 65535";
        QTest::newRow("bare ipv6") << "tcp://::1:20" << false << 0 << "brackets";
        QTest::newRow("user part") << "tcp://u@h:20" << false << 0 << "not a host";
        QTest::newRow("control") << "/dev/tty\nUSB0" << false << 0 << "control";
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, kind);
        QFETCH(QString, normalised);
        QString why;
        const auto location = vesk::parsePortLocation(text, &why);
        QCOMPARE(location.has_value(), valid);
        if (valid) {
            QCOMPARE(int(location->kind), kind);
            QCOMPARE(location->text(), normalised);
            QCOMPARE(vesk::parsePortLocation(location->text()),
                     location); // the text parses back to itself
        } else {
            QVERIFY2(why.contains(normalised), qPrintable(why));
        }
    }

    // A name given on a command line: relative names are files in the working folder, COMn stays
    // a port number.
    void argument_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // text() of the result, "" = refused
        const QString here = QDir::currentPath();
        QTest::newRow("relative") << "./link" << here + "/link";
        QTest::newRow("file named com...") << "combox" << here + "/combox";
        QTest::newRow("com link") << "com-sim/a" << here + "/com-sim/a";
        QTest::newRow("COMn") << "com2"
                              << "COM2";
        QTest::newRow("COM0") << "COM0"
                              << "";
        QTest::newRow("COM1000") << "COM1000"
                                 << "";
    }
    void argument() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto location = vesk::parsePortArgument(text);
        QCOMPARE(location ? location->text() : QString(), expected);
    }

    // Command line > environment > saved > adapters present > built-in; an unusable value falls
    // through with a warning, and a device named explicitly is no default for another port.
    void precedence_data() {
        QTest::addColumn<QStringList>("given"); // per port "cmd|env|saved", 4 entries
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("expected"); // "source:text"
        QTest::addColumn<int>("warnings");
        // Lists as space-separated words; `usb`: the two adapters are present.
        const auto row =
            [](const char* name, const char* given, bool usb, const char* expected, int warnings) {
                const auto list = [](const char* words) { return QString(words).split(u' '); };
                QTest::newRow(name)
                    << list(given)
                    << (usb ? list("/dev/serial/by-id/usb-A /dev/ttyACM0") : QStringList{})
                    << list(expected) << warnings;
            };
        row("nothing", "|| || || ||", false, "3:/dev/ttyS0 3:/dev/ttyS1 3:/dev/ttyS2 3:/dev/ttyS3",
            0);
        row("adapters", "|| || || ||", true,
            "3:/dev/serial/by-id/usb-A 3:/dev/ttyACM0 3:/dev/ttyS2 3:/dev/ttyS3", 0);
        row("each source", "tcp://h:1|/dev/e1|/dev/s1 |/dev/e2|/dev/s2 ||/dev/s3 ||", true,
            "0:tcp://h:1 1:/dev/e2 2:/dev/s3 3:/dev/serial/by-id/usb-A", 0);
        row("bad values fall through", "||tcp://h:0 |rel|/dev/s2 || ||", true,
            "3:/dev/serial/by-id/usb-A 2:/dev/s2 3:/dev/ttyACM0 3:/dev/ttyS3", 2);
        row("adapter named elsewhere", "|| ||/dev/ttyACM0 || ||", true,
            "3:/dev/serial/by-id/usb-A 2:/dev/ttyACM0 3:/dev/ttyS2 3:/dev/ttyS3", 0);
    }
    void precedence() {
        QFETCH(QStringList, given);
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, expected);
        QFETCH(int, warnings);
        vesk::PortInputs in;
        for (int i = 0; i < vesk::PortCount; ++i) {
            const QStringList parts = given[i].split(u'|');
            in.commandLine[i] = parts[0];
            in.environment[i] = parts[1];
            in.saved[i] = parts[2];
        }
        in.adapters = adapters;
        QStringList said;
        const auto ports = vesk::resolvePorts(in, &said);
        QStringList got;
        for (const auto& p : ports)
            got << QStringLiteral("%1:%2").arg(int(p.source)).arg(p.location.text());
        QCOMPARE(got, expected);
        QCOMPARE(said.size(), warnings);
    }

    // Adapters in number order, ttyUSB before ttyACM, each by its by-id link where it has one.
    void adaptersPreferByIdLinks() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("by-id");
        for (const char* name : {"ttyUSB10", "ttyACM0", "ttyUSB2", "ttyS0", "tty1"})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        const QString link = dir.filePath("by-id/usb-FTDI_A1-if00-port0");
        QVERIFY(QFile::link(dir.filePath("ttyUSB10"), link));
        QCOMPARE(vesk::usbAdapters(dir.path(), dir.filePath("by-id")),
                 (QStringList{dir.filePath("ttyUSB2"), link, dir.filePath("ttyACM0")}));
    }

    // The same pseudo-terminal through a link and through its own path is one lock: the second
    // opener is told who holds it, whichever name each was given.
    void lockFollowsTheDevice_data() {
        QTest::addColumn<bool>("linkFirst");
        QTest::newRow("link, then path") << true;
        QTest::newRow("path, then link") << false;
    }
    void lockFollowsTheDevice() {
        QFETCH(bool, linkFirst);
        PtyPair pty;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("by-id-link"));
        QVERIFY(QFile::link(pty.slavePath(), link));
        SerialPortControl first, second;
        QSignalSpy failed(&second, &SerialPortControl::openFailed);
        const QString a = linkFirst ? link : pty.slavePath(),
                      b = linkFirst ? pty.slavePath() : link;
        QVERIFY2(first.openLocation(*vesk::parsePortLocation(a)),
                 qPrintable(first.lastError().text));
        QVERIFY(QFile::exists(SerialPortControl::lockFilePathFor(b)));
        QVERIFY(!second.openLocation(*vesk::parsePortLocation(b)));
        QCOMPARE(second.lastError().reason, PortError::Reason::Busy);
        QCOMPARE(second.lastError().lockOwnerPid, QCoreApplication::applicationPid());
        QVERIFY2(second.lastError().text.contains("tst_portnames"),
                 qPrintable(second.lastError().text));
        QCOMPARE(failed.count(), 1);
        // Closing removes the lock and the other name opens.
        first.setPortOpen(false);
        QVERIFY(!QFile::exists(SerialPortControl::lockFilePathFor(b)));
        QVERIFY(second.openLocation(*vesk::parsePortLocation(b)));
        QCOMPARE(second.lastError().reason, PortError::Reason::None);
    }

    // Opening throws away what arrived for nobody, never output: on a pseudo-terminal a frame
    // written just before a close and reopen may not be at the other end yet (a busy machine lost
    // it). A master in packet mode is told of each kind of flush.
    void openingKeepsWhatWasSent() {
        int master = -1, slave = -1, packetMode = 1;
        char name[64] = {}, status = 0;
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0 &&
                ioctl(master, TIOCPKT, &packetMode) == 0);
        SerialPortControl port;
        QVERIFY(port.openLocation(*vesk::parsePortLocation(QString::fromLocal8Bit(name))));
        pollfd told{master, POLLIN, 0};
        QVERIFY(::poll(&told, 1, 1000) == 1 && ::read(master, &status, 1) == 1);
        QCOMPARE(status & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE), TIOCPKT_FLUSHREAD);
        port.setPortOpen(false);
        ::close(slave);
        ::close(master);
    }

    // COMn as every script maps it (veskctl and vesk-mqtt call this one resolver): the consoles'
    // sources in their order; a value that is not a port is an error in strict mode, where a
    // console falls back past it. "default" stands for the consoles' own choice.
    void comMapping_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("environment"); // VESKPANEL_COM<n> of the port named
        QTest::addColumn<QString>("saved");       // ports/COM<n> in the settings file
        QTest::addColumn<QString>("strict"); // text() of the result, or "!" + part of the reason
        QTest::addColumn<QString>("lenient");
        QTest::newRow("environment") << "COM1"
                                     << "/dev/e1"
                                     << "/dev/s1"
                                     << "/dev/e1"
                                     << "/dev/e1";
        QTest::newRow("saved") << "com2"
                               << ""
                               << "tcp://h:7"
                               << "tcp://h:7"
                               << "tcp://h:7";
        QTest::newRow("bad environment") << "COM3"
                                         << "ftp://x"
                                         << "/dev/s3"
                                         << "!VESKPANEL_COM3 \"ftp://x\" is not a port"
                                         << "default";
        QTest::newRow("bad saved") << "COM4"
                                   << ""
                                   << "ttyS9"
                                   << "!saved COM4"
                                   << "default";
        QTest::newRow("neither") << "COM2"
                                 << ""
                                 << ""
                                 << "default"
                                 << "default";
        QTest::newRow("COM5") << "COM5"
                              << "/dev/e5"
                              << ""
                              << "!COM1..COM4 only"
                              << "!COM1..COM4 only";
        QTest::newRow("COM0") << "COM0"
                              << ""
                              << ""
                              << "!COM1..COM4 only"
                              << "!COM1..COM4 only";
        QTest::newRow("device") << "/dev/ttyUSB0"
                                << ""
                                << ""
                                << "/dev/ttyUSB0"
                                << "/dev/ttyUSB0";
        QTest::newRow("server") << "TCP://h:1"
                                << ""
                                << ""
                                << "tcp://h:1"
                                << "tcp://h:1";
    }
    void comMapping() {
        QFETCH(QString, text);
        QFETCH(QString, environment);
        QFETCH(QString, saved);
        QFETCH(QString, strict);
        QFETCH(QString, lenient);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString n = text.right(1);
        const QByteArray variable = "VESKPANEL_COM" + n.toLatin1();
        if (environment.isEmpty())
            qunsetenv(variable);
        else
            qputenv(variable, environment.toUtf8());
        if (!saved.isEmpty()) {
            QDir(config.path()).mkpath("veskpanel");
            QFile file(vesk::portSettingsPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[ports]\nCOM" + n.toLatin1() + "=" + saved.toUtf8() + "\n");
        }
        const QString fallback = vesk::PortChoices().port(qBound(1, n.toInt(), 4)).location.text();
        for (const auto& [mapping, expected] :
             {std::pair{ComMapping::Strict, strict}, std::pair{ComMapping::Lenient, lenient}}) {
            QString why;
            const auto location = vesk::resolvePortName(text, mapping, &why);
            if (expected.startsWith('!')) {
                QVERIFY(!location);
                QVERIFY2(why.contains(expected.mid(1)), qPrintable(why));
            } else {
                QVERIFY2(location, qPrintable(why));
                QCOMPARE(location->text(), expected == "default" ? fallback : expected);
            }
        }
        qunsetenv(variable);
        qunsetenv("XDG_CONFIG_HOME");
    }

    // One name for every spelling of a port, for locks, queues, journals and shares alike.
    void canonicalName() {
        PtyPair pty;
        QTemporaryDir dir;
        const QString link = dir.filePath("by-id-link");
        QVERIFY(QFile::link(pty.slavePath(), link));
        const auto name = [](const QString& text) {
            return vesk::canonicalPortName(*vesk::parsePortLocation(text));
        };
        QCOMPARE(name(link), name(pty.slavePath()));
        QCOMPARE(name(link), QFileInfo(pty.slavePath()).canonicalFilePath());
        QCOMPARE(name(dir.filePath("gone")), dir.filePath("gone"));
        QCOMPARE(name("TCP://[::1]:20"), "tcp://[::1]:20");
        // The lock file beside which a port's own files go: the device's, shared by every user,
        // or a server's in this user's runtime folder.
        bool shared = false;
        QCOMPARE(vesk::portLockPath(*vesk::parsePortLocation(link), &shared),
                 SerialPortControl::lockFilePathFor(pty.slavePath()));
        QVERIFY(shared);
        const QString server =
            vesk::portLockPath(*vesk::parsePortLocation(u"tcp://[::1]:20"), &shared);
        QVERIFY(!shared);
        QCOMPARE(QFileInfo(server).fileName(), "LCK..tcp______1__20");
    }

    // The reply to a status query as the line delivers it, judged by the one rule every program
    // uses: pieces cut by a pause longer than the quiet gap are joined until they make six bytes,
    // a reply (also a joined one) is taken at its sixth byte, and six bytes that are no reply of
    // the address asked are odd; more than six are no reply. A reply cut short stays with the
    // driver while it is awaited and is handed on as soon as the wait ends, also by a reopen.
    void replyJoining_data() {
        QTest::addColumn<QList<QByteArray>>("pieces"); // written with `pauseMs` between them
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<int>("address"); // -1: a broadcast query
        QTest::addColumn<int>("outcome"); // -1: none; -2: none, the port reopened before
        QTest::addColumn<int>("after");   // batches after the judgement: bytes that follow a reply
        const QByteArray reply = vesk::statusReplyFrame(1, 0x05);
        QByteArray badSum = reply;
        badSum[5] = char(badSum[5] ^ 0x40);
        const int gap = SerialPortControl::QuietGapMs;
        const int R = int(Outcome::Reply), O = int(Outcome::Odd), G = int(Outcome::Garbled);
        using L = QList<QByteArray>;
        QTest::newRow("whole") << L{reply} << 0 << 1 << R << 0;
        QTest::newRow("paused under the gap")
            << L{reply.first(3), reply.sliced(3)} << 5 << 1 << R << 0;
        QTest::newRow("paused over the gap")
            << L{reply.first(2), reply.sliced(2)} << 4 * gap << 1 << R << 0;
        QTest::newRow("three pieces")
            << L{reply.first(1), reply.sliced(1, 2), reply.sliced(3)} << 3 * gap << 1 << R << 0;
        QTest::newRow("joined, taken at byte 6")
            << L{reply.first(2), reply.sliced(2), QByteArray(2, 0)} << 3 * gap << 1 << R << 1;
        QTest::newRow("broadcast") << L{vesk::statusReplyFrame(7, 1)} << 0 << -1 << R << 0;
        QTest::newRow("other address") << L{vesk::statusReplyFrame(2, 5)} << 0 << 1 << O << 0;
        QTest::newRow("bad checksum") << L{badSum} << 0 << 1 << O << 0;
        QTest::newRow("odd bytes") << L{QByteArray::fromHex("00112233050F")} << 0 << 1 << O << 0;
        QTest::newRow("longer") << L{badSum + QByteArray(2, 0)} << 0 << 1 << G << 0;
        QTest::newRow("pieces too long")
            << L{reply.first(4), reply.sliced(2)} << 3 * gap << 1 << G << 0;
        QTest::newRow("cut short") << L{reply.first(2), reply.sliced(2, 1)} << gap << 1 << -1 << 0;
        QTest::newRow("cut short, reopened") << L{reply.first(3)} << 0 << 1 << -2 << 0;
    }
    void replyJoining() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, pauseMs);
        QFETCH(int, address);
        QFETCH(int, outcome);
        QFETCH(int, after);
        PtyPair pty;
        Line line;
        QVERIFY(line.open(*vesk::parsePortLocation(pty.slavePath())));
        QVERIFY(line.isOpen());
        QSignalSpy replied(&line, &Line::replied);
        QString events; // "b" a batch, "r" the judgement
        connect(&line, &Line::batch, this, [&] { events += 'b'; });
        connect(&line, &Line::replied, this, [&] { events += 'r'; });
        QSignalSpy batches(&line, &Line::batch);
        line.expectReply(address < 0 ? std::nullopt : std::optional(quint8(address)));
        if (outcome == -2) {
            line.close();
            QVERIFY(line.open(*vesk::parsePortLocation(pty.slavePath())));
        }
        for (const QByteArray& piece : pieces) {
            pty.writeNow(piece);
            QTest::qWait(pauseMs);
        }
        if (outcome < 0) {
            const QByteArray bytes = pieces.join();
            if (outcome == -1) {
                QTest::qWait(3 * SerialPortControl::QuietGapMs);
                QCOMPARE(events, QString()); // nothing woke the program
                line.stopReply();
                QCOMPARE(events, "b"); // at once
            }
            QTRY_COMPARE_WITH_TIMEOUT(events, "b", 2000);
            QCOMPARE(batches.at(0).at(0).toByteArray(), bytes);
            QCOMPARE(replied.count(), 0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(replied.count(), 1, 2000);
        QCOMPARE(replied.at(0).at(0).value<Outcome>(), Outcome(outcome));
        const QByteArray judged = replied.at(0).at(1).toByteArray();
        QCOMPARE(judged.size() == 6, outcome != int(Outcome::Garbled));
        // A judged reply leaves what follows it to the next batch.
        QCOMPARE(events.mid(events.indexOf('r')).count('b'), after);
        QTest::qWait(3 * SerialPortControl::QuietGapMs);
        QCOMPARE(replied.count(), 1);
    }

    // Routes are asked first at every open: one that offers the line hands a stream, which the
    // line uses like a server connection and names as the way it goes; one that does not lets
    // the line open the port itself, and so does a stream that finds the offer gone.
    void routeFirst() {
        // A server connection that names its way, or that fails as Gone when there is no server.
        struct Routed : vesk::StreamLink {
            std::unique_ptr<vesk::TcpLink> tcp = vesk::createTcpLink(nullptr);
            QObject context;
            void setEvents(Events events) override {
                if (!tcp->isIdle() || !events.failed)
                    return tcp->setEvents(std::move(events));
                QTimer::singleShot(0, &context,
                                   [failed = events.failed] { failed(Failure::Gone); });
            }
            bool isConnected() const override { return tcp->isConnected(); }
            bool isIdle() const override { return tcp->isIdle(); }
            QIODevice* device() override { return tcp->device(); }
            void flush() override { tcp->flush(); }
            void abort() override { tcp->abort(); }
            QString errorString() const override { return tcp->errorString(); }
            QString via() const override { return QStringLiteral("through the test route"); }
        };
        struct Route : vesk::LineRoute {
            quint16 serverPort = 0;
            int asked = 0;
            QString canonical;
            std::unique_ptr<vesk::StreamLink> offer(const PortLocation&,
                                                    const QString& name) override {
                ++asked;
                canonical = name;
                if (asked == 1)
                    return nullptr;
                auto link = std::make_unique<Routed>();
                if (serverPort)
                    link->tcp->connectToHost("127.0.0.1", serverPort, 1024);
                return link;
            }
        } route;
        PtyPair pty;
        Line line;
        line.setRoute(&route);
        QVERIFY(line.open(*vesk::parsePortLocation(pty.slavePath())));
        QVERIFY(line.isOpen() && line.via().isEmpty());
        QCOMPARE(route.canonical, QFileInfo(pty.slavePath()).canonicalFilePath());
        QVERIFY(line.write(vesk::statusQueryFrame(1)));
        QVERIFY(pty.waitForFrames(1, 2000));
        QSignalSpy opened(&line, &Line::opened);
        QVERIFY(line.open(*vesk::parsePortLocation(pty.slavePath())));
        QVERIFY(line.connecting() && !line.isOpen());
        QVERIFY(opened.wait(2000));
        QVERIFY(line.isOpen() && line.via().isEmpty());
        QVERIFY(line.write(vesk::statusQueryFrame(2)));
        QVERIFY(pty.waitForFrames(2, 2000));

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        route.serverPort = server.serverPort();
        QVERIFY(line.open(*vesk::parsePortLocation(pty.slavePath())));
        QCOMPARE(route.asked, 3);
        QVERIFY(line.connecting() && line.via().isEmpty());
        QVERIFY(opened.wait(3000));
        QCOMPARE(line.via(), "through the test route");
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        QSignalSpy replied(&line, &Line::replied);
        line.expectReply(1);
        QVERIFY(line.write(vesk::statusQueryFrame(1)));
        QByteArray written;
        QTRY_COMPARE(written += peer->readAll(), vesk::statusQueryFrame(1));
        peer->write(vesk::statusReplyFrame(1, 0x81));
        QVERIFY(replied.wait(2000));
        QCOMPARE(replied.at(0).at(0).value<Outcome>(), Outcome::Reply);
        QCOMPARE(pty.frames().size(), 2); // nothing went to the port itself
        QSignalSpy lost(&line, &Line::lost);
        peer->close();
        QVERIFY(lost.wait(2000));
    }

    // TCP: refused, then a connection whose reply arrives in two chunks inside the quiet gap is
    // one batch, a chunk after the gap another; the server closing is a lost port.
    void tcpPort() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 portNumber = server.serverPort();
        server.close();
        SerialPortControl port;
        QSignalSpy failed(&port, &SerialPortControl::openFailed);
        QSignalSpy opened(&port, &SerialPortControl::opened);
        const auto location =
            vesk::parsePortLocation(QStringLiteral("tcp://127.0.0.1:%1").arg(portNumber));
        QVERIFY(port.openLocation(*location));
        QVERIFY(port.connecting());
        QVERIFY(failed.wait(SerialPortControl::TcpConnectTimeoutMs + 1000));
        QCOMPARE(port.lastError().reason, PortError::Reason::Refused);
        QVERIFY(!port.connecting() && !port.portOpen());

        QVERIFY(server.listen(QHostAddress::LocalHost, portNumber));
        QVERIFY(port.openLocation(*location));
        QVERIFY(opened.wait(3000));
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        QVERIFY(port.output(QByteArrayLiteral("\xCA\x20\x01")));
        QByteArray written;
        QTRY_COMPARE(written += peer->readAll(), QByteArrayLiteral("\xCA\x20\x01"));

        QSignalSpy batches(&port, &SerialPortControl::onComm);
        QSignalSpy answered(&port, &SerialPortControl::answered);
        peer->write("\xAC\x20\x01");
        peer->flush();
        QTest::qWait(5);
        peer->write("\x00\x05\x00", 3);
        peer->flush();
        QVERIFY(batches.wait(2000));
        QCOMPARE(port.input(), QByteArray("\xAC\x20\x01\x00\x05\x00", 6));
        QCOMPARE(answered.count(), 1);

        QSignalSpy lost(&port, &SerialPortControl::portLost);
        peer->close();
        QVERIFY(lost.wait(2000));
        QVERIFY(!port.portOpen() && !port.output("x"));
        QCOMPARE(lost.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_portnames.moc"
