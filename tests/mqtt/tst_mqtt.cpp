// vesk-mqtt against a real mosquitto broker and the simulated controller: two controllers share
// one line (the simulator answers address 3 only), and the tests talk MQTT with the broker's own
// command-line clients. A controller played by the test on a pseudo-terminal answers in ways the
// simulator does not: a reply with a pause in it, from another address, garbled, or none.
#include "broker.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include "core/frames.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <memory>

class TestMqtt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_broker.start());
        m_link = m_dir.filePath(QStringLiteral("line"));
        startSim();
        QVERIFY(m_sim->isRunning());
        m_watch = std::make_unique<Subscriber>(m_broker, QStringList{"vesk/#"});
        // Kept by the broker from some earlier time: never to be executed.
        QVERIFY(m_broker.publish("vesk/rack1/channel/2/set", "ON", true));
        m_config = writeConfig(
            "vesk-mqtt.conf",
            QStringLiteral(
                "[broker]\nhost = 127.0.0.1\nport = %1\nclient_id = tst\n\n"
                "[controller rack1]\nport = %2\naddress = 3\npoll_interval = 0.5\n"
                "channel1 = Pump\n\n[controller rack2]\nport = %2\naddress = 4\nname = 一号柜\n")
                .arg(m_broker.port())
                .arg(m_link));
        m_daemon.start(QStringLiteral(VESK_MQTT_BIN),
                       {"--config", m_config, "--verbose", "--journal", m_dir.filePath("journal")});
        QVERIFY(m_daemon.waitForStarted());
        QVERIFY2(m_watch->waitFor("vesk/rack1/availability online", 10000), qPrintable(log()));
    }
    void cleanupTestCase() {
        m_fakeDaemon.kill();
        m_fakeDaemon.waitForFinished();
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    void retainedCommandIgnored() {
        const QString topic = "vesk/rack1/channel/2/set";
        QTRY_COMPARE_WITH_TIMEOUT(log().count(topic + ": ignored, a retained command"), 1, 3000);
        QVERIFY(log().contains(QStringLiteral("mosquitto_pub -h '127.0.0.1' -p %1 -r -n -t '%2'")
                                   .arg(m_broker.port())
                                   .arg(topic)));
        QTest::qWait(300); // a frame, had one been written, reaches the simulator's log
        QVERIFY(switchFrames().isEmpty());
        QVERIFY(m_broker.publish(topic, "", true)); // removed
    }
    void secondInstance() {
        // The same configuration again: refused before it connects; the first is undisturbed.
        const int offline = m_watch->count("vesk/rack1/availability offline");
        QProcess second;
        second.start(VESK_MQTT_BIN, {"--config", m_config});
        QVERIFY(second.waitForFinished(2000));
        QCOMPARE(second.exitCode(), 3);
        const QString said = second.readAllStandardError();
        QVERIFY2(said.contains(QStringLiteral("process %1").arg(m_daemon.processId())),
                 qPrintable(said));
        QTest::qWait(1000);
        QCOMPARE(m_watch->count("vesk/rack1/availability offline"), offline);
    }
    void retainedStates() {
        // A dashboard that subscribes later still sees everything.
        Subscriber late(m_broker, {"vesk/#"});
        QVERIFY(late.waitFor("vesk/rack1/availability online", 5000));
        QVERIFY(late.waitFor("vesk/rack2/availability offline", 5000)); // address 4 never answers
        for (int channel = 1; channel <= 8; ++channel)
            QVERIFY(late.waitFor(QStringLiteral("vesk/rack1/channel/%1 OFF").arg(channel), 5000));
    }
    void discovery() {
        // Per controller: eight switches and four buttons.
        Subscriber ha(m_broker, {"homeassistant/switch/#", "homeassistant/button/#"});
        QTRY_COMPARE_WITH_TIMEOUT(ha.lines().size(), 24, 5000);
        const QMap<QString, QString> pressed{{"vesk_rack1_all_on", "CA 20 03 19 03 FF FF 01 F7"},
                                             {"vesk_rack1_all_off", "CA 20 03 19 03 FF 00 02 F5"},
                                             {"vesk_rack1_keys_lock", "CA 20 03 CF 01 00 42"},
                                             {"vesk_rack1_keys_unlock", "CA 20 03 CF 01 01 41"}};
        for (const QString& line : ha.lines()) {
            const QString topic = line.section(' ', 0, 0);
            const QJsonObject config =
                QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
            const QString component = topic.section('/', 1, 1);
            const QString id = topic.section('/', 2, 2); // vesk_rack1_1
            QCOMPARE(config["unique_id"].toString(), id);
            QCOMPARE(config["default_entity_id"].toString(), component + "." + id);
            QVERIFY(!config.contains("object_id"));
            const QJsonObject origin = config["origin"].toObject();
            QCOMPARE(origin.keys(), QStringList({"name", "sw_version"})); // no support address
            const QString base = "vesk/" + id.section('_', 1, 1);
            // Available while the daemon and the controller both are.
            QCOMPARE(config["availability"].toArray(),
                     QJsonArray({QJsonObject{{"topic", "vesk/bridge/availability"}},
                                 QJsonObject{{"topic", base + "/availability"}}}));
            QCOMPARE(config["availability_mode"].toString(), "all");
            const QJsonObject device = config["device"].toObject();
            QCOMPARE(device["identifiers"].toArray(), QJsonArray{"vesk_" + base.mid(5)});
            QCOMPARE(device["name"].toString(), base.endsWith("rack2") ? "一号柜" : "rack1");
            QVERIFY(!device.contains("sw_version")); // the daemon's version is not the firmware's
            if (component == "button") {
                QCOMPARE(config["entity_category"].toString(), id.contains("keys") ? "config" : "");
                if (!pressed.contains(id))
                    continue;
                const qsizetype before = switchFrames().size();
                QVERIFY(m_broker.publish(config["command_topic"].toString(),
                                         config["payload_press"].toString().toUtf8()));
                QTRY_COMPARE_WITH_TIMEOUT(switchFrames().size(), before + 1, 3000);
                QCOMPARE(switchFrames().last(), pressed[id]);
                continue;
            }
            const QString channel = base + "/channel/" + id.section('_', 2, 2);
            QCOMPARE(config["state_topic"].toString(), channel);
            QCOMPARE(config["command_topic"].toString(), channel + "/set");
            QCOMPARE(config["device_class"].toString(), "outlet");
            QVERIFY(!config["name"].toString().isEmpty());
        }
        QVERIFY(ha.lines().join('\n').contains("\"name\":\"Pump\""));
        // The timed all-off pressed last has run, and the published states show it.
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->state().value("pendingSwitches").toArray().isEmpty(), 5000);
        QCOMPARE(m_sim->state().value("channels").toInt(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                const QStringList lines = m_watch->lines();
                for (int channel = 1; channel <= 8; ++channel) {
                    const QString topic = QStringLiteral("vesk/rack1/channel/%1 ").arg(channel);
                    for (qsizetype i = lines.size() - 1; i >= 0; --i)
                        if (lines[i].startsWith(topic)) {
                            if (!lines[i].endsWith("OFF"))
                                return false;
                            break;
                        }
                }
                return true;
            }(),
            3000);
        // Home Assistant restarted: everything is announced again.
        QVERIFY(m_broker.publish("homeassistant/status", "online"));
        QTRY_COMPARE_WITH_TIMEOUT(ha.lines().size(), 48, 5000);
    }
    void commands_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("state"); // published after the confirming query; empty: none

        const auto row = [](const char* name, const char* topic, const char* payload,
                            const char* frame, const char* state) {
            QTest::newRow(name) << QString(topic) << QByteArray(payload) << QString(frame)
                                << QString(state);
        };
        row("on", "rack1/channel/3/set", "ON", "CA 20 03 18 02 03 01 F4", "rack1/channel/3 ON");
        row("off", "rack1/channel/3/set", "OFF", "CA 20 03 18 02 03 00 F5", "rack1/channel/3 OFF");
        row("toggle", "rack1/channel/5/set", "TOGGLE", "CA 20 03 18 02 05 01 F2",
            "rack1/channel/5 ON");
        row("lock", "rack1/keys/set", "LOCK", "CA 20 03 CF 01 00 42", "");
        row("unlock", "rack1/keys/set", "UNLOCK", "CA 20 03 CF 01 01 41", "");
        row("shared line", "rack2/channel/1/set", "ON", "CA 20 04 18 02 01 01 F5", "");
        row("all off", "rack1/all/set", "OFF", "CA 20 03 19 03 FF 00 02 F5", "rack1/channel/5 OFF");
    }
    void commands() {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, frame);
        QFETCH(QString, state);
        const qsizetype before = switchFrames().size();
        const int seen = m_watch->count("vesk/" + state);
        QVERIFY(m_broker.publish("vesk/" + topic, payload));
        QTRY_COMPARE_WITH_TIMEOUT(switchFrames().size(), before + 1, 3000);
        QCOMPARE(switchFrames().last(), frame);
        // The journal names the program, its process and the device behind the configured link.
        QFile file(m_dir.filePath("journal"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray journal = file.readAll();
        QVERIFY(journal.contains("\"prog\": \"vesk-mqtt\", \"pid\": " +
                                 QByteArray::number(m_daemon.processId())));
        // A switch carries the message that asked for it; polls are left out.
        QVERIFY2(journal.contains("\"port\": \"" + QFileInfo(m_link).canonicalFilePath().toUtf8() +
                                  "\", \"dir\": \"out\", \"hex\": \"" + frame.toUtf8() +
                                  "\", \"via\": \"mqtt\", \"topic\": \"vesk/" + topic.toUtf8() +
                                  "\", \"payload\": \"" + payload + "\"}"),
                 journal.right(300).constData());
        QVERIFY(!journal.contains("\"hex\": \"CA 20 03 20"));
        if (!state.isEmpty())
            QVERIFY2(m_watch->waitFor("vesk/" + state, 3000, seen), qPrintable(log()));
    }
    void toggleBurst() {
        // Two toggles before any reply shows the first: on, then off again.
        const qsizetype before = switchFrames().size();
        QVERIFY(m_broker.publish("vesk/rack1/channel/7/set", "TOGGLE"));
        QVERIFY(m_broker.publish("vesk/rack1/channel/7/set", "TOGGLE"));
        const QString on = "CA 20 03 18 02 07 01 F0", off = "CA 20 03 18 02 07 00 F1";
        QTRY_COMPARE_WITH_TIMEOUT(switchFrames().last(), off, 3000);
        // The first may have been replaced by the second while it waited for a reply that was due.
        const QStringList frames = switchFrames().mid(before);
        QVERIFY(frames == QStringList({on, off}) || frames == QStringList{off});
    }
    void flood() {
        // 3000 alternating sets for one channel as fast as they come: the latest one wins.
        const int seen = m_watch->count("vesk/rack1/channel/6 ON");
        QProcess pub;
        pub.start("mosquitto_pub",
                  m_broker.clientArguments() + QStringList{"-t", "vesk/rack1/channel/6/set", "-l"});
        QVERIFY(pub.waitForStarted());
        pub.write(QByteArray("OFF\nON\n").repeated(1500));
        pub.closeWriteChannel();
        QVERIFY(pub.waitForFinished());
        const QDateTime sent = QDateTime::currentDateTime();
        QVERIFY(m_watch->waitFor("vesk/rack1/channel/6 ON", 5000, seen));
        QTest::qWait(1500); // a frame still to come would be in the simulator's log by now
        SimFrame final;
        for (const SimFrame& frame : m_sim->received())
            if (frame.hex.mid(9, 2) != "20")
                final = frame;
        QCOMPARE(final.hex, vesk::hexText(vesk::switchFrame(3, 6, true)).trimmed());
        QVERIFY2(sent.msecsTo(final.at) < 1000, qPrintable(final.at.toString(Qt::ISODateWithMs)));
        QCOMPARE(m_watch->lines().filter("vesk/rack1/channel/6 ").last(),
                 "vesk/rack1/channel/6 ON");
        QVERIFY(log().contains("rack1 channel 6 ON: written; "));
    }
    void steadyStream() {
        // A command every 30 ms or so, channels in turn: each gets its frame, in order.
        const qsizetype before = switchFrames().size();
        QStringList expected;
        for (int i = 0; i < 16; ++i) {
            const int channel = i % 8 + 1;
            expected << vesk::hexText(vesk::switchFrame(3, channel, i < 8)).trimmed();
            QVERIFY(m_broker.publish(QStringLiteral("vesk/rack1/channel/%1/set").arg(channel),
                                     i < 8 ? "ON" : "OFF"));
            QTest::qWait(30);
        }
        QTRY_COMPARE_WITH_TIMEOUT(switchFrames().size(), before + 16, 3000);
        QCOMPARE(switchFrames().mid(before), expected);
    }
    void badMessages_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("logged");

        const auto row = [](const char* name, const char* topic, QByteArray payload,
                            const char* logged) {
            QTest::newRow(name) << QString(topic) << payload << QString(logged);
        };
        // The grammar's cases are a table of their own (tst_mqtttopics); here what a message
        // that is no command leaves behind: a log line, and a refused event of its controller.
        row("line break", "rack1/channel/1/set", "OFF\nforged", "unknown payload 'OFF?forged'");
        row("channel 9", "rack1/channel/9/set", "ON", "no channel '9'");
        row("unknown controller", "nosuch/channel/1/set", "ON", "no controller 'nosuch'");
        row("too long", "rack1/channel/1/set", QByteArray(65, 'N'), "payload of 65 bytes");
        row("other topic", "rack1/colour/set", "ON", "not a command topic");
    }
    void badMessages() {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, logged);
        const qsizetype before = switchFrames().size();
        const qsizetype lines = log().count(logged);
        const auto refused = [this] {
            return m_watch->lines()
                .filter(QRegularExpression("^vesk/rack1/event \\{.*"
                                           "\"event_type\":\"refused\""))
                .size();
        };
        const qsizetype events = refused();
        QVERIFY(m_broker.publish("vesk/" + topic, payload));
        QTRY_COMPARE_WITH_TIMEOUT(log().count(logged), lines + 1, 3000);
        QTRY_COMPARE(refused(), events + (topic.startsWith("rack1") ? 1 : 0));
        QTest::qWait(50); // a frame, had one been written with the log line, reaches the log
        QCOMPARE(switchFrames().size(), before);
    }
    void replies_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("paused mid-way") << int(Paused) << "vesk/fake/channel/3 ON";
        QTest::newRow("another address") << int(Foreign) << "vesk/fake/availability offline";
        QTest::newRow("in one piece") << int(Whole) << "vesk/fake/availability online";
        QTest::newRow("bad checksum") << int(BadSum) << "vesk/fake/availability offline";
        QTest::newRow("paused again") << int(Paused) << "vesk/fake/availability online";
        QTest::newRow("bad checksum again") << int(BadSum) << "vesk/fake/availability offline";
        // Pieces cut by more than the quiet gap are joined, as veskctl joins them.
        QTest::newRow("paused over the gap") << int(PausedLong) << "vesk/fake/availability online";
        QTest::newRow("silent") << int(Silent) << "vesk/fake/availability offline";
        QTest::newRow("back") << int(Whole) << "vesk/fake/availability online";
    }
    void replies() {
        // The test plays the controller at address 7, polled every 0.5 s on a line of its own.
        QFETCH(int, mode);
        QFETCH(QString, expected);
        if (!m_fake) {
            m_fake = std::make_unique<PtyPair>();
            connect(m_fake.get(), &PtyPair::bytesArrived, this, [this] { answer(); });
            m_fakeDaemon.start(
                VESK_MQTT_BIN,
                {"--config",
                 writeConfig("fake.conf", QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\n"
                                                         "client_id = fake\n[controller fake]\n"
                                                         "port = %2\naddress = 7\n"
                                                         "poll_interval = 0.5\n")
                                              .arg(m_broker.port())
                                              .arg(m_fake->slavePath()))});
        }
        const int before = m_watch->count(expected);
        m_mode = Mode(mode);
        QVERIFY(m_watch->waitFor(expected, 15000, before));
        const qsizetype polls = m_fake->frames().size();
        const QByteArray silence =
            "fake: no reply from address 7 on " + m_fake->slavePath().toUtf8();
        QTest::qWait(m_mode == Silent ? 4000 : 1200);
        const QByteArray logged = m_fakeDaemon.readAllStandardError();
        if (m_mode == Silent) // backed off: at the interval it would be 8 polls, and one log line
            QVERIFY(m_fake->frames().size() - polls <= 3 && logged.count(silence) <= 1);
        else if (expected.endsWith("online")) // asked at its interval again
            QVERIFY(m_fake->frames().size() - polls >= 2);
    }
    void simulatorHangsUp() {
        const int offline = m_watch->count("vesk/rack1/availability offline");
        const int online = m_watch->count("vesk/rack1/availability online");
        const int fresh = m_watch->count("vesk/rack1/channel/1 OFF");
        m_sim.reset();
        QVERIFY(m_watch->waitFor("vesk/rack1/availability offline", 5000, offline));
        // While the line is closed a command is refused, not kept for later.
        QVERIFY(m_broker.publish("vesk/rack1/channel/2/set", "ON"));
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("rack1 channel 2 ON: refused"), 3000);
        startSim();
        QVERIFY(m_watch->waitFor("vesk/rack1/availability online", 5000, online));
        QVERIFY(m_watch->waitFor("vesk/rack1/channel/1 OFF", 3000, fresh));
        QVERIFY(switchFrames().isEmpty());
    }
    void networkPort() {
        // A controller behind ser2net: the daemon opens tcp://, and a server that goes away and
        // comes back is found again.
        SimProcess sim({"--address", "5", "--time-scale", "20"});
        const int port = freePort();
        QProcess ser2net;
        auto serve = [&] {
            ser2net.start("ser2net",
                          {"-n", "-Y",
                           QStringLiteral("connection: &shed#  accepter: tcp,127.0.0.1,%1#"
                                          "  connector: serialdev,%2,9600n81,local")
                               .arg(port)
                               .arg(sim.ptyPath())});
            return QTest::qWaitFor([&] { return accepts(port); }, 5000);
        };
        QVERIFY(serve());
        QProcess daemon;
        daemon.start(
            VESK_MQTT_BIN,
            {"--config",
             writeConfig("net.conf", QStringLiteral("[broker]\nhost = 127.0.0.1\n"
                                                    "port = %1\n[controller shed]\n"
                                                    "port = tcp://127.0.0.1:%2\naddress = 5\n")
                                         .arg(m_broker.port())
                                         .arg(port))});
        QVERIFY(m_watch->waitFor("vesk/shed/availability online", 10000));
        QVERIFY(m_broker.publish("vesk/shed/channel/6/set", "ON"));
        QVERIFY(m_watch->waitFor("vesk/shed/channel/6 ON", 3000));
        QVERIFY(sim.received().size() >= 2 &&
                sim.received().at(1).hex == "CA 20 05 18 02 06 01 EF");
        const int offline = m_watch->count("vesk/shed/availability offline");
        const int online = m_watch->count("vesk/shed/availability online");
        ser2net.kill();
        ser2net.waitForFinished();
        QVERIFY(m_watch->waitFor("vesk/shed/availability offline", 5000, offline));
        QVERIFY(serve());
        QVERIFY(m_watch->waitFor("vesk/shed/availability online", 10000, online));
        // A clean stop says offline itself (the last will is only for a crash) and exits 0.
        daemon.terminate();
        QVERIFY(daemon.waitForFinished());
        QCOMPARE(daemon.exitStatus(), QProcess::NormalExit);
        QCOMPARE(daemon.exitCode(), 0);
        QVERIFY(m_watch->waitFor("vesk/shed/availability offline", 3000, offline + 1));
        ser2net.kill();
        ser2net.waitForFinished();
    }
    void tls() {
        // A broker that takes TLS only, its certificate checked against the configured CA file.
        Broker secure(true);
        QVERIFY(secure.start());
        SimProcess sim({"--address", "6"});
        Subscriber watch(secure, {"vesk/#"});
        QProcess daemon;
        daemon.start(
            VESK_MQTT_BIN,
            {"--config",
             writeConfig("tls.conf",
                         QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\ncafile = %2\n"
                                        "[controller vault]\nport = %3\naddress = 6\n")
                             .arg(secure.port())
                             .arg(secure.caFile(), sim.ptyPath()))});
        QVERIFY2(watch.waitFor("vesk/vault/availability online", 10000),
                 daemon.readAllStandardError().constData());
        QVERIFY(secure.publish("vesk/vault/channel/1/set", "ON"));
        QVERIFY(watch.waitFor("vesk/vault/channel/1 ON", 3000));
        daemon.kill();
        daemon.waitForFinished();
    }
    void brokerRestarts() {
        m_watch.reset();
        const qsizetype from = log().size();
        m_broker.kill();
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("connection lost"), 5000);
        QTest::qWait(4000); // attempts fail meanwhile
        QVERIFY(m_broker.start());
        // The new broker keeps nothing (no persistence): all it holds comes from the reconnect.
        m_watch = std::make_unique<Subscriber>(
            m_broker, QStringList{"vesk/#", "homeassistant/switch/vesk_rack1_1/config"});
        QVERIFY2(m_watch->waitFor("vesk/rack1/availability online", 15000), qPrintable(log()));
        QVERIFY(m_watch->waitFor("vesk/rack1/channel/8 OFF", 3000));
        QTRY_VERIFY(m_watch->lines().join('\n').contains("vesk_rack1_1/config {"));
        // The loss and the reconnection, not every failed attempt in between.
        // (--verbose adds the library's word on the failed read.)
        const QStringList said = log().mid(from).split('\n').filter(QRegularExpression(
            QStringLiteral("broker 127.0.0.1:%1: (?!read: )").arg(m_broker.port())));
        QVERIFY2(said.size() <= 3, qPrintable(said.join('\n')));
        // Commands work on the new connection.
        QVERIFY(m_broker.publish("vesk/rack1/channel/4/set", "ON"));
        QVERIFY(m_watch->waitFor("vesk/rack1/channel/4 ON", 3000));
    }
    void sharedClientId() {
        // Two hosts with one client id, played by two configurations naming the broker two ways
        // (so that the lock of one machine does not stop the second), with the back-off after a
        // take-over shortened from 30 s to 3 s: at most a few changes in two back-offs.
        SimProcess sim({"--address", "7"});
        Subscriber watch(m_broker, {"vesk/twin/availability"});
        auto config = [this](const char* file, const char* host, const QString& port) {
            return writeConfig(file,
                               QStringLiteral("[broker]\nhost = %1\nport = %2\nclient_id = "
                                              "dup\n[controller twin]\nport = %3\naddress = 7\n")
                                   .arg(host)
                                   .arg(m_broker.port())
                                   .arg(port));
        };
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VESK_MQTT_TAKEOVER_RETRY_MS", "3000");
        QProcess one, two;
        one.setProcessEnvironment(env);
        two.setProcessEnvironment(env);
        one.start(VESK_MQTT_BIN, {"--config", config("one.conf", "127.0.0.1", sim.ptyPath())});
        QVERIFY(watch.waitFor("vesk/twin/availability online", 10000));
        const qsizetype from = watch.lines().size() - 1;
        two.start(VESK_MQTT_BIN,
                  {"--config", config("two.conf", "localhost", m_dir.filePath("no"))});
        QTest::qWait(6000);
        const QStringList seen = watch.lines().mid(from);
        int changes = 0;
        for (qsizetype i = 1; i < seen.size(); ++i)
            changes += seen[i] != seen[i - 1];
        const QString said = one.readAllStandardError() + two.readAllStandardError();
        QVERIFY2(changes < 5, qPrintable(seen.join('\n') + '\n' + said));
        QVERIFY2(said.contains("client id 'dup'"), qPrintable(said));
        one.kill();
        two.kill();
        one.waitForFinished();
        two.waitForFinished();
    }
    void purgeAfterRename() {
        // Controller "old" renamed to "new": the broker still keeps what "old" published.
        const QString broker = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\nbase_topic "
                                              "= p18\ndiscovery_prefix = ha18\n")
                                   .arg(m_broker.port());
        auto section = [this](const char* name) {
            return QStringLiteral("[controller %1]\nport = %2\n").arg(name, m_dir.filePath(name));
        };
        QProcess before;
        before.start(
            VESK_MQTT_BIN,
            {"--config", writeConfig("before.conf", broker + section("keep") + section("old"))});
        Subscriber kept(m_broker, {"p18/#", "ha18/#"});
        // The daemon's availability, and per controller its availability and 13 discovery
        QTRY_COMPARE_WITH_TIMEOUT(kept.lines().size(), 29, 10000);
        before.terminate();
        QVERIFY(before.waitForFinished());
        QProcess purge;
        purge.start(VESK_MQTT_BIN,
                    {"--purge", "--config",
                     writeConfig("after.conf", broker + section("keep") + section("new"))});
        QVERIFY(purge.waitForFinished(20000));
        QCOMPARE(purge.exitCode(), 0);
        const QStringList removed =
            QString(purge.readAllStandardOutput()).split('\n').filter("removed ");
        QCOMPARE(removed.size(), 14);
        for (const QString& line : removed)
            QVERIFY2(
                line.contains(QRegularExpression("^removed (p18/old/|ha18/\\w+/vesk_p18_old_)")),
                qPrintable(line));
        Subscriber after(m_broker, {"p18/#", "ha18/#"});
        QTRY_COMPARE_WITH_TIMEOUT(after.lines().size(), 15, 5000);
        QTest::qWait(300);
        QCOMPARE(after.lines().filter("keep").size(), 14);
    }
    void notObeyed() {
        // A controller that ignores switches: one event and one log line per switch, once the
        // states read after the settle time still differ.
        QVERIFY(m_broker.publish("vesk/rack1/channel/4/set", "OFF"));
        QTRY_COMPARE(m_sim->state().value("channels").toInt() & 8, 0);
        QTest::qWait(500); // confirmed
        simCommand("ignore-switches on 3", "console: switches ignored");
        const QString line = "rack1 channel 4 ON: not obeyed, the controller still reports OFF";
        const QString event = R"(vesk/rack1/event {"asked":"ON","channel":4,"event_type":)"
                              R"("not_obeyed","read":"OFF"})";
        QVERIFY(m_broker.publish("vesk/rack1/channel/4/set", "ON"));
        QVERIFY(m_watch->waitFor(event, 3000));
        QTRY_COMPARE(log().count(line), 1);
        QTest::qWait(1500); // three more polls: still one of each
        QCOMPARE(m_watch->count(event), 1);
        QCOMPARE(log().count(line), 1);
        simCommand("ignore-switches off 3", "console: switches applied");
        QFile journal(m_dir.filePath("journal"));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        QVERIFY(journal.readAll().contains(
            R"("outcome": "not obeyed", "hex": "CA 20 03 18 02 04 01 F3", "channel": 4, )"
            R"("asked": "ON", "read": "OFF"})"));
    }
    void mutedInBackoff() {
        // A silent controller is asked after 2 s, then 8 s: a set asks it at once instead.
        const int offline = m_watch->count("vesk/rack1/availability offline");
        const int online = m_watch->count("vesk/rack1/availability online");
        simCommand("mute 3 on", "console: muted");
        QVERIFY(m_watch->waitFor("vesk/rack1/availability offline", 5000, offline));
        QTest::qWait(300); // now waiting 8 s for the next attempt
        simCommand("mute 3 off", "console: on the line again");
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_broker.publish("vesk/rack1/channel/8/set", "OFF"));
        QVERIFY(m_watch->waitFor("vesk/rack1/availability online", 2000, online));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(log().contains("rack1 channel 8 OFF: sent while rack1 is offline; asking it now"));
        QVERIFY(m_watch->count(R"(vesk/rack1/event {"asked":"OFF","channel":8,)"
                               R"("event_type":"offline"})") == 1);
    }
    void oneMissIsNotOffline() {
        // One missed reply (a stall, a busy line) backs a controller off; it is still online, so a
        // set asks it at once and says nothing of being offline.
        const QString missed = "no reply from address 3";
        const int misses = int(log().count(missed));
        const int offline = m_watch->count("vesk/rack1/availability offline");
        simCommand("mute 3 on", "console: muted");
        QTRY_VERIFY_WITH_TIMEOUT(log().count(missed) > misses, 3000);
        simCommand("mute 3 off", "console: on the line again");
        QVERIFY(m_broker.publish("vesk/rack1/channel/7/set", "ON"));
        QVERIFY(m_sim->waitForReceived(m_sim->received().size() + 2, 2000)); // switch, query
        QVERIFY(!log().contains("channel 7 ON: sent while"));
        QCOMPARE(m_watch->lines().filter(R"("channel":7,"event_type":"offline")").size(), 0);
        QCOMPARE(m_watch->count("vesk/rack1/availability offline"), offline);
    }
    void journalRotation() {
        // Renamed as a log rotation does, then SIGHUP: every switch is in one file or the other.
        const QString path = m_dir.filePath("journal");
        const auto switches = [](const QString& file) {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            return f.readAll().count("\"via\": \"mqtt\", \"topic\": \"vesk/rack1/channel/");
        };
        const qsizetype before = switches(path);
        for (int i = 0; i < 16; ++i) {
            if (i == 6)
                QVERIFY(QFile::rename(path, path + ".1"));
            if (i == 10)
                ::kill(pid_t(m_daemon.processId()), SIGHUP);
            QVERIFY(m_broker.publish(QStringLiteral("vesk/rack1/channel/%1/set").arg(i % 8 + 1),
                                     i < 8 ? "ON" : "OFF"));
            QTest::qWait(40);
        }
        QTRY_COMPARE(switches(path + ".1") + switches(path), before + 16);
        QVERIFY(switches(path) > 0);
        QVERIFY(m_daemon.state() == QProcess::Running);
    }
    void twoSites() {
        // A second site on the same broker, with its own base topic and client id and a
        // controller also named rack1, among ten on one line.
        SimProcess sim({"--address", "1-10", "--time-scale", "20"});
        QString text = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\nbase_topic = "
                                      "site2\nclient_id = site2\n")
                           .arg(m_broker.port());
        for (int i = 1; i <= 10; ++i)
            text += QStringLiteral("[controller rack%1]\nport = %2\naddress = %1\n")
                        .arg(i)
                        .arg(sim.ptyPath());
        const QString config = writeConfig("site2.conf", text);
        Subscriber watch(m_broker, {"site2/#", "homeassistant/switch/+/config"});
        QProcess site2;
        site2.start(VESK_MQTT_BIN, {"--config", config});
        // Home Assistant's view: an entity is available while every topic of its list is online.
        const auto available = [&watch](int controllers) {
            QMap<QString, QString> last;
            for (const QString& line : watch.lines())
                last[line.section(' ', 0, 0)] = line.section(' ', 1);
            int entities = 0;
            for (auto it = last.cbegin(); it != last.cend(); ++it) {
                const QJsonObject c = QJsonDocument::fromJson(it.value().toUtf8()).object();
                if (!it.key().contains("vesk_site2_"))
                    continue;
                bool all = true;
                for (const QJsonValue& a : c["availability"].toArray())
                    all = all && last.value(a["topic"].toString()) == "online";
                entities += all;
            }
            return entities == controllers * 8 ? 1 : entities == 0 ? 0 : -1;
        };
        QTRY_COMPARE_WITH_TIMEOUT(available(10), 1, 10000);
        // Both sites' rack1 announced, neither overwriting the other.
        const QStringList lines = watch.lines();
        const auto configOf = [&lines](const QString& id) {
            const QString line = lines.filter("homeassistant/switch/" + id + "/config ").last();
            return QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
        };
        QCOMPARE(configOf("vesk_rack1_2")["unique_id"].toString(), "vesk_rack1_2");
        QCOMPARE(configOf("vesk_site2_rack1_2")["unique_id"].toString(), "vesk_site2_rack1_2");
        QCOMPARE(configOf("vesk_site2_rack1_2")["device"].toObject()["identifiers"].toArray(),
                 QJsonArray{"vesk_site2_rack1"});
        // Each switch commands its own site.
        const qsizetype here = switchFrames().size();
        QVERIFY(m_broker.publish(configOf("vesk_site2_rack1_2")["command_topic"].toString(), "ON"));
        QVERIFY(watch.waitFor("site2/rack1/channel/2 ON", 3000));
        QTRY_VERIFY(sim.logLines().filter("RX CA 20 01 18 02 02 01 F7").size() == 1);
        QCOMPARE(switchFrames().size(), here);
        // Killed: every entity unavailable within 2 s; restarted: available again.
        site2.kill();
        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(available(10), 0, 2000);
        QVERIFY(clock.elapsed() < 2000);
        site2.waitForFinished();
        site2.start(VESK_MQTT_BIN, {"--config", config});
        QTRY_COMPARE_WITH_TIMEOUT(available(10), 1, 10000);
        site2.terminate();
        QVERIFY(site2.waitForFinished());
    }
    void lastWillOnKill() {
        // rack2 has never answered: said once, not on every poll, with its name for people.
        QCOMPARE(log().count("rack2 (一号柜): no reply from address 4 on " + m_link + "; offline"),
                 1);
        const int offline = m_watch->count("vesk/bridge/availability offline");
        m_daemon.kill();
        QVERIFY(m_watch->waitFor("vesk/bridge/availability offline", 5000, offline));
    }
    void checkConfig_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("option");

        // Most rows: a valid [broker] (whose password is never printed), then `rest`.
        const auto row = [](const char* name, const QString& rest, int code, const char* output,
                            bool broker = true, const char* option = "--check-config") {
            QTest::newRow(name) << (broker ? "[broker]\nhost = h\npassword = s3cret\n" : "") + rest
                                << code << QString(output) << QString(option);
        };
        const QString a = "[controller a]\n", com = a + "port = COM1\n";
        row("valid", a + "port = /dev/ttyUSB0\nchannel8 = Fan\n", 0,
            "1 controller(s), configuration valid; broker h:1883");
        // Without [broker] the daemon only owns and shares its lines; an empty one is the default
        // broker.
        row("no broker", com, 0,
            "1 controller(s), configuration valid; no [broker]: lines are shared only, nothing "
            "is published",
            false);
        row("empty broker section", "[broker]\n" + com, 0, "valid; broker localhost:1883", false);
        row("purge without broker", com, 2, "has no [broker]: there is nothing to remove", false,
            "--purge");
        row("unknown key", com + "colour = red\n", 2, ":6: unknown key 'colour' in [controller a]");
        row("channel 9", com + "channel9 = x\n", 2, ":6: unknown key 'channel9'");
        row("broadcast address", a + "address = 254\n", 2, ":5: address must be 0-253");
        row("bad port", a + "port = ttyUSB0\n", 2, ":5: port 'ttyUSB0': expected a device path");
        row("COM5", a + "port = COM5\n", 2, ":5: port 'COM5': COM1..COM4 only");
        row("network port", a + "port = tcp://10.0.0.5:4001\n", 0, "valid");
        row("no port", a + "address = 2\n", 2, ":4: controller 'a' has no port");
        row("same address", com + "[controller b]\nport = COM1\n", 2,
            ":6: controller 'b': another controller has address 1");
        row("bad name", "[controller a/b]\nport = COM1\n", 2, ":1: controller name 'a/b'", false);
        row("no section", "host = h\n", 2, ":1: 'host' outside of a section", false);
        row("no controller", "", 2, "no [controller NAME] section");
        row("bad broker port", "[broker]\nport = 0\n", 2, ":2: port must be 1-65535", false);
        row("no CA file", "cafile = /nonexistent.pem\n" + com, 2,
            "cannot read cafile /nonexistent.pem");
        row("password twice", "password_file = /nonexistent\n" + com, 2,
            "both password and password_file");
        row("inline comment", "[broker]\nhost = 10.0.0.2  # rack router\n" + com, 2,
            ":2: '#' or ';' after a blank in the value", false);
        row("blank in host", "[broker]\nhost = my host\n" + com, 2, ":2: host must be", false);
        row("wildcard in prefix", "discovery_prefix = home#\n" + com, 2,
            ":4: discovery_prefix 'home#' must not contain the wildcards");
        row("empty level", "base_topic = a//b\n" + com, 2,
            ":4: base_topic 'a//b' has an empty level");
        row("duplicate key", com + "port = COM2\n", 2,
            ":6: 'port' set twice in one section (also on line 5)");
        row("duplicate section", "[broker]\nhost = h\n[broker]\n" + com, 2,
            ":3: [broker] appears twice (also on line 1)", false);
        row("blank in name", "[controller my rack]\nport = COM1\n", 2,
            ":1: controller name 'my rack'", false);
        row("name for people", com + "name = 一号柜 (north)\n", 0, "valid");
        row("chinese section", "[controller 一号柜]\nport = COM1\n", 2,
            ":1: controller name '一号柜' must be 1-32 ASCII letters, digits, '_' or '-' (no "
            "blanks): it is a topic level; give the name people see with `name = 一号柜`",
            false);
        row("daemon's level", "[controller bridge]\nport = COM1\n", 2,
            ":1: controller name 'bridge' is taken by the daemon's own topics", false);
        row("support address", "support_url = https://help.example/\n" + com, 0, "valid");
    }
    void checkConfig() {
        QFETCH(QString, text);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, option);
        QProcess check;
        check.start(QStringLiteral(VESK_MQTT_BIN),
                    {option, "--config", writeConfig("check.conf", text)});
        QVERIFY(check.waitForFinished());
        const QString printed = check.readAllStandardOutput() + check.readAllStandardError();
        QCOMPARE(check.exitCode(), exitCode);
        QVERIFY2(printed.contains(output), qPrintable(printed));
        QVERIFY(!printed.contains("s3cret"));
    }

    void exampleConfig() {
        // The shipped example as it is, and with each commented setting (or commented section
        // with its settings) uncommented; the files it names are made here.
        QFile file(VESK_EXAMPLE_CONF);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString password = writeConfig("password", "secret\n");
        const QStringList lines =
            QString(file.readAll()).replace("/etc/vesk-mqtt.password", password).split('\n');
        static const QRegularExpression setting("^# (\\[controller \\w+\\]|\\w+ = \\S+)$");
        QList<QList<qsizetype>> groups{{}}; // the first: the file as it is
        bool inSection = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const bool header = lines[i].startsWith("# [");
            if (!setting.match(lines[i]).hasMatch())
                inSection = false;
            else if (inSection && !header)
                groups.last().append(i);
            else
                groups.append(QList<qsizetype>{i});
            inSection = inSection || header;
        }
        QCOMPARE(groups.size(), 11);
        for (const auto& group : groups) {
            QStringList text = lines;
            for (qsizetype i : group)
                text[i] = text[i].mid(2);
            QProcess check;
            check.start(VESK_MQTT_BIN, {"--check-config", "--config",
                                        writeConfig("example.conf", text.join('\n'))});
            QVERIFY(check.waitForFinished());
            QVERIFY2(check.exitCode() == 0, qPrintable(check.readAllStandardError()));
        }
    }

private:
    enum Mode { Whole, Paused, PausedLong, Foreign, BadSum, Silent };
    void answer() {
        const QList<Received> frames = m_fake->frames();
        for (; m_answered < frames.size(); ++m_answered) {
            QByteArray reply = vesk::statusReplyFrame(m_mode == Foreign ? 8 : 7, 0x05);
            if (frames[m_answered].bytes != vesk::statusQueryFrame(7) || m_mode == Silent)
                continue;
            if (m_mode == BadSum)
                reply[5] = char(reply[5] ^ 1);
            // As a USB adapter or a network hop may deliver it: 3 bytes, 8 ms (or more than the
            // quiet gap), 3 bytes.
            const bool paused = m_mode == Paused || m_mode == PausedLong;
            m_fake->writeNow(paused ? reply.first(3) : reply);
            if (paused)
                QTimer::singleShot(m_mode == Paused ? 8 : 30, Qt::PreciseTimer, m_fake.get(),
                                   [this, reply] { m_fake->writeNow(reply.mid(3)); });
        }
    }
    // A console command, in effect once the simulator has said so.
    void simCommand(const QByteArray& command, const QString& said) {
        const qsizetype before = m_sim->logLines().filter(said).size();
        m_sim->command(command);
        QTRY_VERIFY(m_sim->logLines().filter(said).size() > before);
    }
    void startSim() {
        m_sim = std::make_unique<SimProcess>(
            QStringList{"--link", m_link, "--address", "3", "--time-scale", "20"});
    }
    QString log() { return m_log += QString::fromUtf8(m_daemon.readAllStandardError()); }
    // Frames the simulator received other than status queries, for its address or another.
    QStringList switchFrames() {
        QStringList frames;
        for (const QString& line : m_sim->logLines()) {
            const QString kind = line.section(' ', 1, 1), hex = line.section(' ', 2);
            if ((kind == "RX" || kind == "IGNORED") && hex.mid(9, 2) != "20")
                frames << hex;
        }
        return frames;
    }
    QString writeConfig(const QString& name, const QString& text) {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
        return file.fileName();
    }

    QTemporaryDir m_dir;
    QString m_link;
    QString m_config;
    Broker m_broker;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Subscriber> m_watch;
    QProcess m_daemon;
    QString m_log;
    std::unique_ptr<PtyPair> m_fake;
    QProcess m_fakeDaemon;
    Mode m_mode = Whole;
    qsizetype m_answered = 0;
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
