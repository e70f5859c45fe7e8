// A port that is missing, busy or unplugged in the middle of a send or a reply: the console keeps
// running without spinning, tells the operator at the next send, and works again once a port is
// picked. The port path is a symlink that the test points at a new pseudo-terminal to re-plug.
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "consoleprocess.h"
#include "support/pty.h"

namespace {

const QString Busy1 = QStringLiteral("COM 1 被占用或损坏!");

bool pointLink(const QString& link, const QString& target) {
    QFile::remove(link);
    return QFile::link(target, link);
}

} // namespace

class TestFaultPort : public QObject {
    Q_OBJECT
private slots:
    void portFailsAndRecovers_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("startUpMessages");
        QTest::newRow("missing at start-up") << QStringLiteral("missing") << QStringList{Busy1};
        QTest::newRow("busy at start-up") << QStringLiteral("busy") << QStringList{Busy1};
        QTest::newRow("unplugged inside a send") << QStringLiteral("unplug-send") << QStringList{};
        QTest::newRow("unplugged inside a reply")
            << QStringLiteral("unplug-reply") << QStringList{};
        QTest::newRow("unplugged while polling")
            << QStringLiteral("unplug-polling") << QStringList{};
    }
    void portFailsAndRecovers() {
        QFETCH(QString, fault);
        QFETCH(QStringList, startUpMessages);

        QTemporaryDir dir;
        const QString com1 = dir.filePath(QStringLiteral("com1"));
        auto line = std::make_unique<PtyPair>();
        QSerialPort holder(com1);
        if (fault != QLatin1String("missing"))
            QVERIFY(pointLink(com1, line->slavePath()));
        if (fault == QLatin1String("busy"))
            QVERIFY(holder.open(QIODevice::ReadWrite));

        ConsoleProcess console({{1, com1}}, {QStringLiteral("--record-messages")});
        QVERIFY(console.isReady());
        QCOMPARE(console.messages(), startUpMessages);

        if (fault == QLatin1String("unplug-send")) {
            QVERIFY(line->waitForFrames(2, 3000));
            console.send(QStringLiteral("click Command_CPort_0"));
            QVERIFY(!console.waitForLine(QStringLiteral("ACK click"), 2000).isEmpty());
            QTest::qWait(40); // inside the 100 ms wait before the write
            line->hangUp();
        } else if (fault == QLatin1String("unplug-reply")) {
            QVERIFY(line->waitForFrames(2, 3000));
            line->writeNow(wireBytes("CA 20 01"));
            QTest::qWait(5);
            line->hangUp();
        } else if (fault == QLatin1String("unplug-polling")) {
            console.send(QStringLiteral("click Checktest"));
            QVERIFY(line->waitForFrames(4, 5000)); // start-up query and one poll
            line->hangUp();
        }
        QTest::qWait(300);

        // No spinning on a dead port: the process sleeps.
        const qint64 cpuBefore = console.cpuMs();
        QTest::qWait(1000);
        const qint64 cpu = console.cpuMs() - cpuBefore;
        qInfo("%s: CPU over 1 s after the fault: %lld ms", qPrintable(fault), cpu);
        QVERIFY2(cpu < 100, qPrintable(QString::number(cpu)));
        QVERIFY(console.isRunning());
        QHash<QString, QString> s = console.stats();
        QCOMPARE(s["ports"], QStringLiteral("0000"));
        QCOMPARE(s["lamps"], QStringLiteral("00000000")); // a partial reply is not decoded

        // The next send tells the operator, once.
        const int before = int(console.messages().size());
        console.send(QStringLiteral("click Command_CPort_1"));
        QVERIFY(
            !console.waitForLine(QStringLiteral("MSG "), 2000, console.lineCount() - 1).isEmpty());
        QTest::qWait(800);
        QCOMPARE(console.messages().mid(before), QStringList{Busy1});

        // Re-plugged: a new line behind the same path, picked again.
        holder.close();
        line = std::make_unique<PtyPair>();
        QVERIFY(pointLink(com1, line->slavePath()));
        console.send(QStringLiteral("click COM_0"));
        QTRY_COMPARE_WITH_TIMEOUT(console.stats()["ports"], QStringLiteral("1000"), 2000);
        console.send(QStringLiteral("click Command_CPort_1"));
        QVERIFY(line->waitForFrames(3, 3000));
        const auto frames = line->frames();
        QCOMPARE(frames[0].bytes, wireBytes("CA 20 FE 18 02 02 01 FA"));
        QCOMPARE(frames[1].bytes, wireBytes("CA 20 FE 20 01 01 F5"));
        QCOMPARE(frames[2].bytes, wireBytes("CA 20 FE 20 01 01 F5"));
        QCOMPARE(console.messages().mid(before), QStringList{Busy1});

        const qint64 ms = console.closeAndWait(5000);
        QVERIFY(ms >= 0 && ms < 1000);
        QCOMPARE(console.exitCode(), 0);
        QVERIFY2(!console.hasFaultReport(), qPrintable(console.errorOutput()));
    }
};

QTEST_GUILESS_MAIN(TestFaultPort)
#include "tst_fault_port.moc"
