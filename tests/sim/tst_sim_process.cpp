// The vesk-sim program end to end: its pseudo-terminal, line-speed replies, console commands,
// log, link handling and clean exit.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// One running simulator, stopped and reaped when the test ends, whatever happens.
class Sim {
public:
    ~Sim() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    bool start(const QStringList& arguments) {
        process.start(qEnvironmentVariable("VESKSIM"), arguments);
        const QString first = readLine();
        if (!first.startsWith(QLatin1String("PTY /")))
            return false;
        ptyPath = first.mid(4);
        return true;
    }

    QString readLine(int timeoutMs = 5000) {
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < timeoutMs &&
               process.state() != QProcess::NotRunning)
            process.waitForReadyRead(100);
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    void command(const char* line) {
        process.write(QByteArray(line) + '\n');
        process.waitForBytesWritten(1000);
    }

    bool finish() {
        return process.state() == QProcess::NotRunning || process.waitForFinished(5000);
    }

    QJsonObject state() {
        command("state");
        return QJsonDocument::fromJson(readLine().toUtf8()).object();
    }

    QProcess process;
    QString ptyPath;
};

struct Reception {
    QByteArray bytes;
    int chunks = 0;
    double sinceWriteMs = 0; // from before the request was written to the last byte
    double spreadMs = 0;     // from the first to the last byte
};

Reception receive(QSerialPort& port, qsizetype count, const QByteArray& request = {}) {
    Reception r;
    QElapsedTimer clock;
    clock.start();
    if (!request.isEmpty()) {
        port.write(request);
        port.waitForBytesWritten(1000);
    }
    qint64 first = -1;
    while (r.bytes.size() < count && clock.elapsed() < 3000) {
        if (!port.waitForReadyRead(100))
            continue;
        const qint64 now = clock.nsecsElapsed();
        r.bytes += port.readAll();
        ++r.chunks;
        if (first < 0)
            first = now;
        r.spreadMs = (now - first) / 1e6;
        r.sinceWriteMs = now / 1e6;
    }
    return r;
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void serialSession();
    void stopping_data();
    void stopping();
    void linkPlace_data();
    void linkPlace();
};

void TestSimProcess::initTestCase() {
    QVERIFY2(QFileInfo(qEnvironmentVariable("VESKSIM")).isExecutable(), "VESKSIM not set");
}

void TestSimProcess::serialSession() {
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("sim.log"));
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("--log"), logPath}));
    QSerialPort port(sim.ptyPath);
    port.setBaudRate(QSerialPort::Baud9600);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

    // The reply comes at line speed: six bytes take at least 5 * 1.04 ms after the first. A late
    // reader may see the first bytes together, so the best of a few replies counts.
    const QByteArray query = hex("CA2001200101F2");
    double bestSpread = 0;
    int bestChunks = 0;
    constexpr int Attempts = 5;
    for (int i = 0; i < Attempts; ++i) {
        const Reception reply = receive(port, 6, query);
        QCOMPARE(reply.bytes.toHex(' ').toUpper(), QByteArray("CA 20 01 20 00 F4"));
        QVERIFY2(reply.sinceWriteMs >= 5.0, qPrintable(QString::number(reply.sinceWriteMs)));
        if (reply.spreadMs > bestSpread) {
            bestSpread = reply.spreadMs;
            bestChunks = reply.chunks;
        }
    }
    qInfo("best reply spread %.2f ms over %d reads", bestSpread, bestChunks);
    QVERIFY2(bestSpread >= 4.5, qPrintable(QString::number(bestSpread)));

    // A switch, a frame for another address and noise; the next query shows the switch.
    port.write(hex("CA200118020301F6") + hex("CA200218020101F7") + hex("0011"));
    QCOMPARE(receive(port, 6, query).bytes, hex("CA20012004F0"));
    const QJsonObject state = sim.state();
    QCOMPARE(state.value(u"channels").toInt(), 0x04);
    QCOMPARE(state.value(u"framesReceived").toInt(), Attempts + 3);
    QCOMPARE(state.value(u"ignored").toInt(), 1);
    QCOMPARE(state.value(u"malformed").toInt(), 1);
    QCOMPARE(state.value(u"address").toInt(), 1);

    sim.command("send 0A FF 01");
    QCOMPARE(receive(port, 3).bytes, hex("0AFF01"));

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    const QString stamp = QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )");
    for (const char* line :
         {"RX CA 20 01 20 01 01 F2", "TX CA 20 01 20 00 F4", "RX CA 20 01 18 02 03 01 F6",
          "IGNORED CA 20 02 18 02 01 01 F7", "BAD garbage: 00 11", "TX 0A FF 01"}) {
        const QRegularExpression pattern(stamp + QRegularExpression::escape(QLatin1String(line)) +
                                             QLatin1Char('$'),
                                         QRegularExpression::MultilineOption);
        QVERIFY2(text.contains(pattern), line);
    }

    // An unplugged adapter: the port sees the line go (reads fail at end of file, which the port
    // reports as a read error), the simulator stays until told to quit.
    bool lineLost = false;
    connect(&port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
            lineLost = true;
            port.close(); // the port would report the failed read again and again
        }
    });
    sim.command("hangup");
    QTRY_VERIFY_WITH_TIMEOUT(lineLost, 3000);
    QCOMPARE(sim.state().value(u"channels").toInt(), 0x04);
    sim.command("quit");
    QVERIFY(sim.finish());
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
}

void TestSimProcess::stopping_data() {
    QTest::addColumn<QString>("how");
    for (const char* how : {"quit", "SIGTERM", "SIGINT", "end of stdin"})
        QTest::newRow(how) << QString::fromLatin1(how);
}

// Every way of stopping exits 0 and removes the link.
void TestSimProcess::stopping() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVESK"));
    Sim sim;
    QVERIFY(sim.start({QStringLiteral("--quiet"), QStringLiteral("--link"), link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath);
    if (how == QLatin1String("quit"))
        sim.command("quit");
    else if (how == QLatin1String("SIGTERM"))
        ::kill(static_cast<pid_t>(sim.process.processId()), SIGTERM);
    else if (how == QLatin1String("SIGINT"))
        ::kill(static_cast<pid_t>(sim.process.processId()), SIGINT);
    else
        sim.process.closeWriteChannel();
    QVERIFY(sim.finish());
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimProcess::linkPlace_data() {
    QTest::addColumn<bool>("regularFile");
    QTest::newRow("stale link is replaced") << false;
    QTest::newRow("regular file is kept") << true;
}

void TestSimProcess::linkPlace() {
    QFETCH(bool, regularFile);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVESK"));
    if (regularFile) {
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    } else {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), link));
    }
    Sim sim;
    const bool started = sim.start({QStringLiteral("--quiet"), QStringLiteral("--link"), link});
    QCOMPARE(started, !regularFile);
    if (regularFile) {
        QVERIFY(sim.finish());
        QCOMPARE(sim.process.exitCode(), 1);
        QFile file(link);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    } else {
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath);
        sim.command("quit");
        QVERIFY(sim.finish());
    }
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_sim_process.moc"
