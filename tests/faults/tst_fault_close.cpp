// Closing the window while operations wait: the process must end within a second, with exit code 0
// and no sanitizer report, whatever wait is in progress.
#include <QElapsedTimer>
#include <QTest>

#include "consoleprocess.h"
#include "support/pty.h"

class TestFaultClose : public QObject {
    Q_OBJECT
private slots:
    void closeDuringWait_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<bool>("realBoxes");
        // Steps: "click NAME" goes to the console, "reply HEX" is written on the line,
        // "box" waits until a real dialogue is open.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("closeAfterMs");

        QTest::newRow("send wait 100 ms")
            << false << false << QStringList{"click Command25_0"} << 50;
        QTest::newRow("switch settle 500 ms")
            << false << false << QStringList{"click Command_CPort_0"} << 350;
        QTest::newRow("classic switch settle 1000 ms")
            << true << false << QStringList{"click Command_CPort_2"} << 700;
        QTest::newRow("multi-channel wait 500 ms")
            << false << false << QStringList{"click Command4"} << 300;
        QTest::newRow("timed all-on hold 9 s")
            << false << false << QStringList{"click Command3_0"} << 2000;
        QTest::newRow("status query between its two frames")
            << false << false << QStringList{"click TestButton"} << 150;
        QTest::newRow("lamp colouring")
            << false << false << QStringList{"reply CA 20 01 20 A5 4F"} << 250;
        QTest::newRow("everything nested")
            << false << false
            << QStringList{"click Checktest", "click Command3_1",        "click Command_CPort_5",
                           "click Command2",  "reply CA 20 01 20 FF F5", "click TestButton"}
            << 300;
        QTest::newRow("port-busy box open")
            << false << true << QStringList{"click COM_2", "box"} << 100;
        QTest::newRow("port-busy box open during a 9 s hold")
            << true << true << QStringList{"click Command3_0", "click COM_3", "box"} << 100;
    }
    void closeDuringWait() {
        QFETCH(bool, classic);
        QFETCH(bool, realBoxes);
        QFETCH(QStringList, steps);
        QFETCH(int, closeAfterMs);

        PtyPair line;
        QStringList arguments;
        if (classic)
            arguments << QStringLiteral("--classic");
        if (!realBoxes)
            arguments << QStringLiteral("--record-messages");
        ConsoleProcess console({{1, line.slavePath()}}, arguments);
        QVERIFY(console.isReady());
        QVERIFY(line.waitForFrames(2, 3000)); // the start-up query is out

        for (const QString& step : steps) {
            if (step.startsWith(QLatin1String("reply ")))
                line.writeNow(wireBytes(step.mid(6).toLatin1()));
            else if (step == QLatin1String("box"))
                QVERIFY(!console.waitForLine(QStringLiteral("BOX "), 5000).isEmpty());
            else
                console.send(step);
        }
        QTest::qWait(closeAfterMs);
        QVERIFY2(console.stats()["pending"].toInt() > 0 || realBoxes,
                 "nothing was waiting at the close");

        const qint64 ms = console.closeAndWait(5000);
        qInfo("close -> exit: %lld ms", ms);
        QVERIFY2(ms >= 0, "the process did not end");
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
        QVERIFY(!console.crashed());
        QCOMPARE(console.exitCode(), 0);
        QVERIFY2(!console.hasFaultReport(), qPrintable(console.errorOutput()));
        QCOMPARE(console.waitForLine(QStringLiteral("EXIT"), 100),
                 QStringLiteral("EXIT pending=0"));
    }
};

QTEST_GUILESS_MAIN(TestFaultClose)
#include "tst_fault_close.moc"
