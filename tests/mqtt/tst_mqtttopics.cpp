// The topic grammar of vesk-mqtt as tables: what a topic is, which commands it carries, and the
// object ids that keep two sites on one broker apart.
#include "topics.h"

#include <QSet>
#include <QTest>

using namespace vesk::mqtt;

class TestMqttTopics : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<int>("channel");

        const auto row = [](const char* name, const char* base, const char* topic,
                            TopicKind::Kind kind, const char* controller, int channel) {
            QTest::newRow(name) << QString(base) << QString(topic) << int(kind)
                                << QString(controller) << channel;
        };
        row("availability", "vesk", "vesk/rack1/availability", TopicKind::Availability, "rack1", 0);
        row("state", "vesk", "vesk/r-2/channel/8", TopicKind::State, "r-2", 8);
        row("event", "a/b", "a/b/rack1/event", TopicKind::Event, "rack1", 0);
        row("channel command", "vesk", "vesk/rack1/channel/3/set", TopicKind::Command, "rack1", 3);
        row("all command", "vesk", "vesk/rack1/all/set", TopicKind::Command, "rack1", 0);
        row("keys command", "vesk", "vesk/rack1/keys/set", TopicKind::Command, "rack1", 0);
        row("channel 9", "vesk", "vesk/rack1/channel/9/set", TopicKind::Malformed, "rack1", 0);
        row("channel 03", "vesk", "vesk/rack1/channel/03/set", TopicKind::Malformed, "rack1", 0);
        row("other set", "vesk", "vesk/rack1/colour/set", TopicKind::Malformed, "rack1", 0);
        row("state 0", "vesk", "vesk/rack1/channel/0", TopicKind::None, "rack1", 0);
        row("bridge", "vesk", "vesk/bridge/availability", TopicKind::Bridge, "", 0);
        row("other base", "vesk", "site2/rack1/availability", TopicKind::None, "", 0);
        row("base prefix only", "vesk", "vesk2/rack1/availability", TopicKind::None, "", 0);
        row("nested base", "vesk", "vesk/site2/rack1/availability", TopicKind::None, "site2", 0);
        row("bad name", "vesk", "vesk/a.b/availability", TopicKind::None, "", 0);
    }
    void parse() {
        QFETCH(QString, base);
        QFETCH(QString, topic);
        QFETCH(int, kind);
        QFETCH(QString, controller);
        QFETCH(int, channel);
        const TopicKind parsed = parseTopic(base, topic);
        QCOMPARE(int(parsed.kind), kind);
        if (kind != TopicKind::None)
            QCOMPARE(parsed.controller, controller);
        QCOMPARE(parsed.channel, channel);
        // Every command topic is heard by the daemon's subscriptions, and nothing else is.
        bool heard = false;
        for (const QString& filter : commandFilters(base))
            heard = heard || topicMatches(filter, topic);
        QCOMPARE(heard, kind == TopicKind::Command ||
                            (kind == TopicKind::Malformed && topic.count('/') <= 5));
    }
    void commands_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("described"); // or the reason it is refused

        QTest::newRow("on") << "vesk/r1/channel/1/set" << QByteArray("ON") << "r1 channel 1 ON";
        QTest::newRow("blanks") << "vesk/r1/channel/2/set" << QByteArray(" OFF\n")
                                << "r1 channel 2 OFF";
        QTest::newRow("toggle") << "vesk/r1/channel/8/set" << QByteArray("TOGGLE")
                                << "r1 channel 8 TOGGLE";
        QTest::newRow("all") << "vesk/r1/all/set" << QByteArray("OFF") << "r1 all OFF";
        QTest::newRow("keys") << "vesk/r1/keys/set" << QByteArray("LOCK") << "r1 keys LOCK";
        QTest::newRow("lower case")
            << "vesk/r1/channel/1/set" << QByteArray("on") << "unknown payload 'on'";
        QTest::newRow("forged line")
            << "vesk/r1/channel/1/set" << QByteArray("ON\nx") << "unknown payload 'ON?x'";
        QTest::newRow("keys ON") << "vesk/r1/keys/set" << QByteArray("ON") << "unknown payload";
        QTest::newRow("all TOGGLE")
            << "vesk/r1/all/set" << QByteArray("TOGGLE") << "unknown payload";
        QTest::newRow("channel 9")
            << "vesk/r1/channel/9/set" << QByteArray("ON") << "no channel '9' (channels are 1-8)";
        QTest::newRow("other") << "vesk/r1/colour/set" << QByteArray("ON") << "not a command topic";
        QTest::newRow("too long") << "vesk/r1/channel/1/set" << QByteArray(65, 'N')
                                  << "payload of 65 bytes (at most 64)";
    }
    void commands() {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, described);
        const auto parsed = parseCommand("vesk", topic, payload);
        if (const auto* command = std::get_if<Command>(&parsed))
            QCOMPARE(describe(*command), described);
        else
            QVERIFY2(std::get<QString>(parsed).contains(described),
                     qPrintable(std::get<QString>(parsed)));
    }
    void objectIds_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("id");

        // The default base topic keeps the ids of earlier versions (Home Assistant's history).
        QTest::newRow("default") << "vesk"
                                 << "vesk_rack1_3";
        QTest::newRow("site") << "site2"
                              << "vesk_site2_rack1_3";
        QTest::newRow("levels") << "lab/hall-1"
                                << "vesk_lab_hall-1_rack1_3";
        // sha1("lab_hall") begins a4282c.
        QTest::newRow("underscore") << "lab_hall"
                                    << "vesk_lab_hall_a4282c_rack1_3";
    }
    void objectIds() {
        QFETCH(QString, base);
        QFETCH(QString, id);
        QCOMPARE(objectId(base, "rack1", "3"), id);
    }
    void objectIdsNeverShared() {
        // Base topics that a plain replacement of '/' would make alike.
        QSet<QString> ids;
        for (const char* base : {"vesk", "a/b", "a_b", "a-b", "a/b_", "a_/b", "vesk/x", "a.b"})
            ids.insert(objectId(base, "r", "1"));
        QCOMPARE(ids.size(), 8);
    }
    void names_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "rack_1-A" << true;
        QTest::newRow("32") << QString(32, 'a') << true;
        QTest::newRow("33") << QString(33, 'a') << false;
        QTest::newRow("chinese") << QStringLiteral("一号柜") << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("wildcard") << "a+" << false;
        QTest::newRow("daemon's level") << "bridge" << false;
    }
    void names() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(isValidName(name), valid);
    }
};

QTEST_GUILESS_MAIN(TestMqttTopics)
#include "tst_mqtttopics.moc"
