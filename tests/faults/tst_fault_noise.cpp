// Line noise: a megabyte of random bytes as fast as the pseudo-terminal takes them, and 20 s of
// random bytes at 9600 baud. The window keeps answering (its event loop never stalls for 100 ms),
// its memory stays bounded, every status reply that stands alone on the line turns the lamps,
// and no noise ever does.
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include "consoleprocess.h"
#include "support/pty.h"

namespace {

// Noise goes out in blocks of this size: the console's receive batches (1024 bytes when the line
// never pauses) then always end on a block boundary, so a batch of noise can never be six bytes
// long and be read as a status reply.
constexpr int Block = 8;

QString lampsFor(quint8 state) {
    QString lamps;
    for (int k = 0; k < 8; ++k)
        lamps += (state >> k) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return lamps;
}

// The status reply of controller 1 with `state`: its checksum makes the six bytes add up to 0xFF.
QByteArray burst(quint8 state) {
    QByteArray b = wireBytes("CA 20 01 20 00 00");
    b[4] = char(state);
    b[5] = char(0xFF - quint8(0x0B + state));
    return b;
}

QByteArray noise(QRandomGenerator& random, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestFaultNoise : public QObject {
    Q_OBJECT
private slots:
    void noiseKeepsTheWindowAnswering_data() {
        QTest::addColumn<int>("fullSpeedBytes"); // written as fast as taken, then bursts
        QTest::addColumn<int>("pacedMs");        // or this long at 9600 baud, bursts inside
        QTest::addColumn<int>("bursts");
        QTest::newRow("1 MB at full speed") << 1024 * 1024 << 0 << 5;
        QTest::newRow("9600 baud for 20 s") << 0 << 20000 << 4;
    }
    void noiseKeepsTheWindowAnswering() {
        QFETCH(int, fullSpeedBytes);
        QFETCH(int, pacedMs);
        QFETCH(int, bursts);

        QRandomGenerator random(20261207);
        // Under AddressSanitizer freed memory sits in a quarantine of 256 MB by default, which
        // would read as growth; a small one keeps the measure about the console's own memory.
        // Programs built without the sanitizer ignore the variable.
        const QByteArray asan = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=4");
        PtyPair line;
        ConsoleProcess console({{1, line.slavePath()}}, {QStringLiteral("--record-messages")});
        qputenv("ASAN_OPTIONS", asan);
        QVERIFY(console.isReady());
        QVERIFY(line.waitForFrames(2, 3000));

        // A known lamp state first, so that a decoded piece of noise would show.
        line.writeNow(burst(0xA5));
        QTRY_COMPARE_WITH_TIMEOUT(console.stats()["lamps"], lampsFor(0xA5), 2000);
        QTest::qWait(100);
        console.send(QStringLiteral("resetgap"));
        QVERIFY(!console.waitForLine(QStringLiteral("ACK resetgap"), 2000).isEmpty());
        const QHash<QString, QString> start = console.stats();

        QElapsedTimer clock;
        clock.start();
        QList<quint8> states;
        for (int i = 0; i < bursts; ++i)
            states << quint8(random.bounded(256));

        if (fullSpeedBytes > 0) {
            for (int sent = 0; sent < fullSpeedBytes; sent += 64 * 1024)
                QVERIFY(line.writeAll(noise(random, 64 * 1024), 60000));
            // The console still reads what the line holds; a burst must stand alone.
            QTRY_COMPARE_WITH_TIMEOUT(line.unreadByConsole(), 0, 30000);
            qInfo("1 MB taken in %lld ms", clock.elapsed());
            QTest::qWait(200);
            QCOMPARE(console.stats()["lamps"], lampsFor(0xA5));
            for (quint8 state : states) {
                line.writeNow(burst(state));
                QTest::qWait(650);
                QTRY_COMPARE_WITH_TIMEOUT(console.stats()["lamps"], lampsFor(state), 3000);
            }
        } else {
            // One block every 8 ms: about the 960 bytes a second of a busy 9600-baud line.
            QTimer paced;
            paced.setTimerType(Qt::PreciseTimer);
            qint64 sent = 0;
            paced.callOnTimeout([&] {
                line.writeNow(noise(random, Block));
                sent += Block;
            });
            paced.start(8);
            const int slice = pacedMs / bursts;
            QString shown = lampsFor(0xA5);
            for (quint8 state : states) {
                QTest::qWait(slice - 800);
                // The lamps still show the last burst: noise turned nothing.
                QCOMPARE(console.stats()["lamps"], shown);
                paced.stop();
                QTest::qWait(60);
                line.writeNow(burst(state));
                QTest::qWait(60);
                paced.start(); // noise again while the lamps are being coloured
                QTest::qWait(600);
                shown = lampsFor(state);
                QTRY_COMPARE_WITH_TIMEOUT(console.stats()["lamps"], shown, 3000);
            }
            paced.stop();
            qInfo("%lld noise bytes in %lld ms", sent, clock.elapsed());
        }

        const QHash<QString, QString> end = console.stats();
        qInfo("largest event-loop gap %lld ms; RSS %lld kB -> %lld kB", end["gap"].toLongLong(),
              start["rss"].toLongLong(), end["rss"].toLongLong());
        QVERIFY2(end["gap"].toLongLong() < 100,
                 qPrintable(QString::number(end["gap"].toLongLong())));
        QVERIFY2(end["rss"].toLongLong() - start["rss"].toLongLong() < 16 * 1024,
                 qPrintable(QString::number(end["rss"].toLongLong())));
        QVERIFY(console.messages().isEmpty());

        const qint64 ms = console.closeAndWait(5000);
        QVERIFY(ms >= 0 && ms < 1000);
        QCOMPARE(console.exitCode(), 0);
        QVERIFY2(!console.hasFaultReport(), qPrintable(console.errorOutput()));
    }
};

QTEST_GUILESS_MAIN(TestFaultNoise)
#include "tst_fault_noise.moc"
