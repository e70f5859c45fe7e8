// Ports on a real machine: a lost device reopened by itself, a console on tcp:// through a real
// ser2net, the typed entry and the saved choice, and the real programs' command line and signals.
#include <QDialogButtonBox>
#include <QDir>
#include <QInputDialog>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "app/language.h"
#include "areas/portselector.h"
#include "core/portchoice.h"
#include "core/serialport.h"
#include "support/fixture.h"
#include "support/simprocess.h"

using namespace vesk;

namespace {

// ser2net in the foreground, serving `device` as raw TCP on 127.0.0.1:port, no banner.
struct Ser2Net {
    Ser2Net(const QString& device, quint16 port) : port(port) {
        process.start("ser2net", {"-n", "-Y",
                                  QStringLiteral("connection: &vesk#  accepter: tcp,127.0.0.1,%1#"
                                                 "  connector: serialdev,%2,9600n81,local")
                                      .arg(port)
                                      .arg(device)});
        // Ready once the port accepts; the probe connection is closed at once.
        ready = QTest::qWaitFor(
            [this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, this->port);
                return probe.waitForConnected(100);
            },
            5000);
    }
    ~Ser2Net() {
        process.terminate();
        process.waitForFinished(3000);
    }
    quint16 port;
    QProcess process;
    bool ready = false;
};

quint16 freeTcpPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

QColor caption(const Console& c) {
    return toolkit::textColor(c.button(QStringLiteral("COM_0")));
}

} // namespace

class TestPorts : public QObject {
    Q_OBJECT
private slots:
    // Simulator on a link: hang up and remove the link, start a new simulator on the same link;
    // the console reopens within 2 s, queries it once, and the next operation reaches it.
    void replugReopensByItself() {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB-link"));
        auto sim = std::make_unique<SimProcess>(QStringList{"--link", link});
        Console c(false, false);
        c.window->port().setLocationFor(1, *parsePortLocation(link));
        c.window->startUp();
        QVERIFY(sim->waitForReceived(2, 5000));
        QSignalSpy lost(&c.window->port(), &SerialPortControl::portLost);
        sim.reset(); // the line hangs up, the link goes
        QVERIFY(lost.wait(3000));
        QTRY_COMPARE(caption(c), QColor(Qt::black));
        QTest::qWait(1500); // a second or two with no device: nothing reopens, nothing shows

        sim = std::make_unique<SimProcess>(QStringList{"--link", link});
        QTRY_VERIFY_WITH_TIMEOUT(c.window->port().portOpen(), 2500);
        QCOMPARE(caption(c), QColor(255, 0, 0));
        QVERIFY(sim->waitForReceived(2, 3000)); // one status query, written twice
        QTest::mouseClick(c.button(QStringLiteral("Command_CPort_0")), Qt::LeftButton);
        QVERIFY(sim->waitForReceived(3, 3000));
        QVERIFY(c.settle());
        QCOMPARE(c.messageTexts(), QStringList{});
    }

    // The console on tcp:// through ser2net: start-up query, a switch and the lamps from the
    // reply; ser2net stopped is a lost port, ser2net back is reopened with one query.
    void consoleThroughSer2net() {
        SimProcess sim;
        const quint16 port = freeTcpPort();
        auto server = std::make_unique<Ser2Net>(sim.ptyPath(), port);
        QVERIFY(server->ready);
        Console c(false, false);
        const auto location = parsePortLocation(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
        c.window->port().setLocationFor(1, *location);
        c.window->startUp();
        QVERIFY(sim.waitForReceived(2, 5000));
        QCOMPARE(sim.received().at(0).hex, QStringLiteral("CA 20 FE 20 01 01 F5"));
        QTRY_COMPARE(caption(c), QColor(255, 0, 0));
        QVERIFY(c.settle());
        QTest::mouseClick(c.button(QStringLiteral("Command_CPort_2")), Qt::LeftButton);
        QVERIFY(sim.waitForReceived(3, 3000));
        // The simulator switched channel 3 on and its reply lit lamp 3 (one batch over TCP).
        QTRY_COMPARE(toolkit::faceColor(c.button(QStringLiteral("Command_CPort_2"))),
                     QColor(255, 0, 0));
        QVERIFY(c.window->port().hasAnswered());

        QSignalSpy lost(&c.window->port(), &SerialPortControl::portLost);
        server.reset();
        QVERIFY(lost.wait(3000));
        QTRY_COMPARE(caption(c), QColor(Qt::black));
        server = std::make_unique<Ser2Net>(sim.ptyPath(), port);
        QVERIFY(server->ready);
        QTRY_VERIFY_WITH_TIMEOUT(c.window->port().portOpen(), 2500);
        QVERIFY(sim.waitForReceived(5, 3000));
        QCOMPARE(caption(c), QColor(255, 0, 0));
        QVERIFY(c.settle());
        QCOMPARE(c.messageTexts(), QStringList{});
    }

    // Start-up on tcp:// connects once and keeps that connection for both query frames (a device
    // server that admits one client would refuse a second).
    void startUpConnectsOnce() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        Console c(false, false);
        c.window->port().setLocationFor(
            1, *parsePortLocation(QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort())));
        c.window->startUp();
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* client = server.nextPendingConnection();
        QByteArray bytes;
        QVERIFY(QTest::qWaitFor([&] { return (bytes += client->readAll()).size() >= 14; }, 5000));
        QCOMPARE(bytes, QByteArray::fromHex("CA20FE200101F5").repeated(2));
        QVERIFY(!server.hasPendingConnections() && client->isOpen());
        QCOMPARE(caption(c), QColor(255, 0, 0));
    }

    // A typed entry that is no port is refused with its reason and nothing is stored; a valid one
    // is stored at once, reopens the open port on it, and a restarted real program uses it.
    void typedEntryAndSavedChoice() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        useLanguage(*qApp, Language::Chinese);
        SimProcess sim;
        {
            Console c;
            const QString conf = c.window->portChoices().settingsPath();
            QCOMPARE(conf, config.filePath(QStringLiteral("veskpanel/veskpanel.conf")));
            for (const QString& typed : {QStringLiteral("tcp://:4001"), sim.ptyPath()}) {
                c.window->portSelector().askForPort(0, QString());
                auto* dialog = c.window->findChild<QInputDialog*>(QStringLiteral("portEntry"));
                QVERIFY(dialog);
                dialog->setTextValue(typed);
                dialog->accept();
            }
            QCOMPARE(c.messageTexts().size(), 1);
            QCOMPARE(c.messageTexts()[0], QStringLiteral("“tcp://:4001”不是有效的端口：主机为空"));
            QCOMPARE(c.window->port().currentLocation()->path, sim.ptyPath());
            QSettings saved(conf, QSettings::IniFormat);
            QCOMPARE(saved.value(QStringLiteral("ports/COM1")).toString(), sim.ptyPath());
        }
        qunsetenv("VESKPANEL_COM1");
        QProcess console;
        console.start(QStringLiteral(VESKPANEL_BIN), {});
        QVERIFY(sim.waitForReceived(2, 10000));
        console.terminate();
        QVERIFY(console.waitForFinished(5000));
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The path dialog stores only ports: a regular file or a folder is refused with the reason
    // and nothing is stored; a device path that is not there yet is stored with a note; a
    // character device is stored and opened.
    void pathDialog_data() {
        QTest::addColumn<QString>("entry"); // in a scratch folder: "plain" a file, "folder" one
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QStringList>("messages"); // %1: the full path
        QTest::newRow("regular file")
            << "plain" << false << QStringList{"“%1”不是有效的端口：是普通文件，不是串口设备"};
        QTest::newRow("folder") << "folder" << false
                                << QStringList{"“%1”不是有效的端口：是文件夹，不是串口设备"};
        QTest::newRow("missing")
            << "ttyUSB9" << true
            << QStringList{"%1 目前不存在（适配器未插上？）。已为 COM1 保存，插上后即可使用。",
                           "COM 1 被占用或损坏!"};
        QTest::newRow("device") << "pty" << true << QStringList{};
    }
    void pathDialog() {
        QFETCH(QString, entry);
        QFETCH(bool, saved);
        QFETCH(QStringList, messages);
        QTemporaryDir scratch;
        qputenv("XDG_CONFIG_HOME", scratch.path().toLocal8Bit());
        useLanguage(*qApp, Language::Chinese);
        QFile plain(scratch.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly) && QDir(scratch.path()).mkdir("folder"));
        Console c;
        const QString path = entry == "pty" ? c.pty2.slavePath() : scratch.filePath(entry);
        c.window->portSelector().askForPort(0, QString());
        auto* dialog = c.window->findChild<QInputDialog*>(QStringLiteral("portEntry"));
        QVERIFY(dialog);
        dialog->setTextValue(path);
        dialog->accept();
        QCOMPARE(c.messageTexts().join('|'), messages.join('|').arg(path));
        QSettings settings(c.window->portChoices().settingsPath(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("ports/COM1")).toString(), saved ? path : "");
        // A refused entry leaves the port as it was; a stored one is opened at once.
        QCOMPARE(c.window->port().currentLocation().value_or(PortLocation{}).path,
                 saved ? (entry == "pty" ? path : "") : c.pty.slavePath());
        qunsetenv("XDG_CONFIG_HOME");
    }

    // A port that does not open, in each language: the reason in its button's tooltip and below
    // the message box's unchanged text, and Qt's own buttons (those of the message boxes and the
    // path dialog). No text of the system's own reaches either.
    void failureTooltips_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("reason");
        const std::tuple<const char*, int, const char*, const char*> reasons[] = {
            {"missing", 2, "/nonexistent/vesk-com3：设备不存在",
             "/nonexistent/vesk-com3: no such device"},
            {"busy", 0, "：被占用，进程 %1（tst_ports）",
             ": busy, in use by process %1 (tst_ports)"},
            {"refused", 1, "：连接被拒绝", ": connection refused"},
            {"regular file", 3, "sim.log：是普通文件，不是串口设备",
             "sim.log: a regular file, not a serial device"}};
        for (const auto& [kind, index, zh, en] : reasons) {
            QTest::addRow("%s zh", kind) << index << Language::Chinese << QString(zh);
            QTest::addRow("%s en", kind) << index << Language::English << QString(en);
        }
    }
    void failureTooltips() {
        QFETCH(int, index);
        QFETCH(Language, language);
        QFETCH(QString, reason);
        if (reason.contains("%1"))
            reason = reason.arg(QCoreApplication::applicationPid());
        const bool en = language == Language::English;
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        useLanguage(*qApp, language);
        Console c(false, false); // COM1 busy, COM2 refused, COM3 missing, COM4 a plain file
        QSerialPort holder(c.pty.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        c.window->portSelector().choose(
            1, *parsePortLocation(QStringLiteral("tcp://127.0.0.1:%1").arg(freeTcpPort())));
        QFile file(config.filePath(QStringLiteral("sim.log")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        c.window->portSelector().choose(3, *parsePortLocation(file.fileName()));
        c.window->portSelector().select(index);
        QPushButton* button = c.button(QStringLiteral("COM_%1").arg(index));
        QTRY_VERIFY2(button->toolTip().contains((en ? "failed to open: " : "打开失败：")),
                     qPrintable(button->toolTip()));
        QVERIFY2(button->toolTip().contains(reason), qPrintable(button->toolTip()));
        QTRY_COMPARE(c.messageTexts(), QStringList{QString(en ? "COM %1 is in use or broken!"
                                                              : "COM %1 被占用或损坏!")
                                                       .arg(index + 1)});
        QCOMPARE(c.messages[0].title, appTitle());
        QVERIFY2(c.messages[0].detail.contains(reason), qPrintable(c.messages[0].detail));
        QVERIFY(!button->toolTip().contains("ioctl") && !c.messages[0].detail.contains("ioctl"));
        QDialogButtonBox qtButtons(QDialogButtonBox::Ok);
        QCOMPARE(qtButtons.button(QDialogButtonBox::Ok)->text().remove('&'), en ? "OK" : "确定");
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The language the real program chooses, told by how it reports a missing COM1 on standard
    // error; the system locale (English here) plays no part.
    void languageChoice_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment"); // VESKPANEL_LANG
        QTest::addColumn<QString>("saved");       // [ui] language
        QTest::addColumn<bool>("english");
        QTest::newRow("default") << QStringList{} << ""
                                 << "" << false;
        QTest::newRow("--lang en") << QStringList{"--lang", "en"} << ""
                                   << "" << true;
        QTest::newRow("VESKPANEL_LANG=en") << QStringList{} << "en_GB"
                                           << "zh" << true;
        QTest::newRow("saved") << QStringList{} << ""
                               << "en" << true;
        QTest::newRow("--lang zh") << QStringList{"--lang", "zh"} << "en"
                                   << "en" << false;
        QTest::newRow("unknown: fr") << QStringList{"--lang", "fr"} << "en"
                                     << "" << false;
    }
    void languageChoice() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, saved);
        QFETCH(bool, english);
        QTemporaryDir config;
        QSettings(config.filePath("veskpanel/veskpanel.conf"), QSettings::IniFormat)
            .setValue("ui/language", saved);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("LANG", "en_US.UTF-8");
        env.insert("VESKPANEL_COM1", "/nonexistent/vesk-com1");
        env.insert("VESKPANEL_LANG", environment);
        QProcess console;
        console.setProcessEnvironment(env);
        console.start(QStringLiteral(VESKPANEL_BIN), arguments);
        const QByteArray reason = english ? ": no such device" : "：设备不存在";
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += console.readAllStandardError())
                                     .contains("COM1: /nonexistent/vesk-com1" + reason),
                                 10000);
        QCOMPARE(err.contains("--lang \"fr\": unknown language (zh or en); using Chinese"),
                 arguments.contains("fr"));
        console.kill();
        QVERIFY(console.waitForFinished(5000));
    }

    // The real program: --help and --version touch no port; --com1 names the port; each of the
    // three signals ends it with the port closed and its lock file gone.
    void commandLineAndSignals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal"); // 0: the program ends by itself
        QTest::newRow("--help") << QStringList{"--help", "--com1"} << 0;
        QTest::newRow("--version") << QStringList{"--version", "--com1"} << 0;
        QTest::newRow("SIGTERM") << QStringList{"--com1"} << SIGTERM;
        QTest::newRow("SIGINT") << QStringList{"--com1"} << SIGINT;
        QTest::newRow("SIGHUP") << QStringList{"--com1"} << SIGHUP;
    }
    void commandLineAndSignals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        PtyPair pty;
        QProcess console;
        console.start(QStringLiteral(VESKPANEL_BIN), arguments << pty.slavePath());
        QVERIFY(console.waitForStarted(5000));
        if (signal == 0) {
            QVERIFY(console.waitForFinished(5000));
            QCOMPARE(console.exitCode(), 0);
            QVERIFY(!console.readAllStandardOutput().isEmpty());
            QTest::qWait(200);
            QCOMPARE(pty.allBytes(), QByteArray());
            return;
        }
        QVERIFY(pty.waitForFrames(2, 10000));
        const QString lock = SerialPortControl::lockFilePathFor(pty.slavePath());
        QVERIFY(QFile::exists(lock));
        ::kill(static_cast<pid_t>(console.processId()), signal);
        QVERIFY(console.waitForFinished(5000));
        QVERIFY(!QFile::exists(lock));
    }
};

QTEST_MAIN(TestPorts)
#include "tst_ports.moc"
