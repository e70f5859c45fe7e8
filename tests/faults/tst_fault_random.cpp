// Ten thousand random operator actions (clicks on every reachable control, typing, list picks,
// series and port switches) with polling on and the simulated controller answering, so that
// operations run nested inside one another's waits. The simulator checks every frame it receives:
// none may be malformed, cut or mixed with another, none may be lost, and the console must not
// crash. VESK_FAULT_SEED replays a run.
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTest>

#include "consoleprocess.h"
#include "support/simprocess.h"

class TestFaultRandom : public QObject {
    Q_OBJECT
private slots:
    // The checks below are only worth their zeros if the simulator does count damaged input (how it
    // reads each kind is the simulator's own test).
    void simulatorReportsDamagedInput_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QJsonObject>("issues");
        QTest::addColumn<int>("frames");
        QTest::newRow("whole frame") << wireBytes("CA 20 01 20 01 01 F2") << QJsonObject() << 1;
        QTest::newRow("bad checksum")
            << wireBytes("CA 20 01 20 01 01 F3") << QJsonObject{{"bad checksum", 1}} << 0;
        QTest::newRow("unknown command")
            << wireBytes("CA 20 01 77 00 9D") << QJsonObject{{"unknown command", 1}} << 0;
        QTest::newRow("frame inside another")
            << wireBytes("CA 20 01 20 CA 20 01 20 01 01 F2 01 01 F2")
            << QJsonObject{{"bad length", 1}, {"garbage", 1}} << 1;
    }
    void simulatorReportsDamagedInput() {
        QFETCH(QByteArray, bytes);
        QFETCH(QJsonObject, issues);
        QFETCH(int, frames);
        SimProcess sim({QStringLiteral("--quiet")});
        QVERIFY(sim.isRunning());
        QSerialPort port(sim.ptyPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.write(bytes);
        QVERIFY(port.waitForBytesWritten(1000));
        // The simulator reads its line and its commands on one loop: ask until it has the bytes.
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(u"parseIssues").toObject(), issues, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().value(u"framesReceived").toInt(), frames, 5000);
    }

    void randomActionsSendOnlyWholeFrames_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("actions");
        QTest::newRow("veskpanel") << false << 10000;
        QTest::newRow("veskpanel-classic") << true << 3000;
    }
    void randomActionsSendOnlyWholeFrames() {
        QFETCH(bool, classic);
        QFETCH(int, actions);

        bool fixed = false;
        quint32 seed = qEnvironmentVariable("VESK_FAULT_SEED").toUInt(&fixed);
        if (!fixed)
            seed = QRandomGenerator::system()->generate();
        qInfo("seed %u (replay with VESK_FAULT_SEED=%u)", seed, seed);

        SimProcess sim({QStringLiteral("--quiet")});
        QVERIFY(sim.isRunning());
        // COM1 and COM2 both lead to the simulator; COM3 and COM4 are missing.
        QStringList arguments{QStringLiteral("--record-messages")};
        if (classic)
            arguments << QStringLiteral("--classic");
        ConsoleProcess console({{1, sim.ptyPath()}, {2, sim.ptyPath()}}, arguments);
        QVERIFY(console.isReady());
        console.send(QStringLiteral("click Checktest"));

        console.send(QStringLiteral("resetgap"));
        const qsizetype from = console.lineCount();
        console.send(QStringLiteral("random %1 %2").arg(actions).arg(seed));
        QVERIFY2(!console.waitForLine(QStringLiteral("RANDOM-DONE"), 200000, from).isEmpty(),
                 "the actions did not finish");
        QVERIFY(console.isRunning());
        const QHash<QString, QString> afterRun = console.stats();
        // Polling stops and every operation ends (a timed hold lasts 9 s): no frame follows.
        console.send(QStringLiteral("settle"));
        QVERIFY(!console.waitForLine(QStringLiteral("SETTLED"), 30000, from).isEmpty());
        const QHash<QString, QString> s = console.stats();
        // The last frames may still be on their way to the simulator.
        QJsonObject state;
        QTRY_VERIFY_WITH_TIMEOUT((state = sim.state()).value(u"framesReceived").toInteger() >=
                                     s["written"].toLongLong(),
                                 10000);
        const qint64 received = state.value(u"framesReceived").toInteger();
        qInfo("frames written %lld, received %lld, malformed %lld, messages %lld, "
              "RSS %lld kB, largest event-loop gap during the run %lld ms",
              s["written"].toLongLong(), received,
              state.value(QStringLiteral("malformed")).toInteger(),
              qint64(console.messages().size()), s["rss"].toLongLong(),
              afterRun["gap"].toLongLong());
        QVERIFY(s["written"].toLongLong() > actions / 20);
        QCOMPARE(state.value(QStringLiteral("malformed")).toInteger(), 0);
        QCOMPARE(state.value(QStringLiteral("parseIssues")).toObject(), QJsonObject());
        QCOMPARE(received, s["written"].toLongLong());
        // The operator was only ever told what the console states: a port that does not open, or a
        // delay that cannot be sent.
        static const QRegularExpression known(
            QStringLiteral("^(COM [1-4] 被占用或损坏!|第([1-9]|1[0-6])文本框数据溢出！！ )$"));
        for (const QString& text : console.messages())
            QVERIFY2(known.match(text).hasMatch(), qPrintable(text));

        const qint64 ms = console.closeAndWait(5000);
        QVERIFY(ms >= 0 && ms < 1000);
        QVERIFY(!console.crashed());
        QCOMPARE(console.exitCode(), 0);
        QVERIFY2(!console.hasFaultReport(), qPrintable(console.errorOutput()));
    }
};

QTEST_GUILESS_MAIN(TestFaultRandom)
#include "tst_fault_random.moc"
