// vesk-mqtt-bench: the daemon between a loopback mosquitto and simulated controllers.
//  1. Latency: `set` messages published one after another (each after the previous frame reached
//     the simulator); the time from publishing to the frame in the simulator's log, and whether
//     every frame arrived byte-exact and in order.
//  2. Idle: four controllers polled every two seconds; CPU share and resident memory over time.
// Usage: vesk-mqtt-bench [--commands N] [--spacing MS] [--idle-seconds S] [--poll-interval SECONDS]
#include "mqtt/broker.h"
#include "support/simprocess.h"

#include "core/frames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <mosquitto.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct Daemon {
    QProcess process;
    ~Daemon() {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
};

QString writeConfig(const QTemporaryDir& dir, int brokerPort, const QStringList& links,
                    double poll) {
    QString text = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\n").arg(brokerPort);
    for (int i = 0; i < links.size(); ++i)
        text += QStringLiteral("[controller c%1]\nport = %2\naddress = %1\npoll_interval = %3\n")
                    .arg(i + 1)
                    .arg(links[i])
                    .arg(poll);
    const QString path = dir.filePath(QStringLiteral("bench.conf"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    return path;
}

bool startDaemon(Daemon& daemon, const QString& config, const Broker& broker, int controllers) {
    Subscriber watch(broker, {QStringLiteral("vesk/+/availability")});
    daemon.process.setStandardErrorFile(QProcess::nullDevice());
    daemon.process.start(QStringLiteral(VESK_MQTT_BIN), {QStringLiteral("--config"), config});
    for (int i = 1; i <= controllers; ++i)
        if (!watch.waitFor(QStringLiteral("vesk/c%1/availability online").arg(i), 10000))
            return false;
    return true;
}

// utime + stime of a process in clock ticks, and its resident set in kB.
qint64 cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    return fields.value(12).toLongLong() + fields.value(13).toLongLong(); // fields 14 and 15
}

qint64 rssKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

double percentile(std::vector<qint64> values, double p) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : double(values[size_t(p * double(values.size() - 1) + 0.5)]);
}

int latency(const Broker& broker, int commands, double poll, int spacingMs) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line1"));
    SimProcess sim(
        {QStringLiteral("--link"), link, QStringLiteral("--address"), QStringLiteral("1")});
    Daemon daemon;
    if (!startDaemon(daemon, writeConfig(dir, broker.port(), {link}, poll), broker, 1))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;

    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(client) != MOSQ_ERR_SUCCESS)
        return std::fprintf(stderr, "bench client cannot connect\n"), 1;

    auto switches = [&sim] {
        QStringList frames;
        for (const SimFrame& f : sim.received())
            if (f.hex.mid(9, 2) == QLatin1String("18"))
                frames << f.hex;
        return frames;
    };
    QStringList expected;
    std::vector<qint64> sentAt;
    for (int i = 0; i < commands; ++i) {
        const int channel = i % 8 + 1;
        const bool on = (i / 8) % 2 == 0;
        expected << vesk::hexText(vesk::switchFrame(1, channel, on)).trimmed();
        const QByteArray topic = QStringLiteral("vesk/c1/channel/%1/set").arg(channel).toUtf8();
        sentAt.push_back(QDateTime::currentMSecsSinceEpoch());
        mosquitto_publish(client, nullptr, topic.constData(), on ? 2 : 3, on ? "ON" : "OFF", 0,
                          false);
        const QDeadlineTimer deadline(2000);
        while (switches().size() <= i && !deadline.hasExpired())
            QTest::qWait(1);
        if (spacingMs > 0)
            QTest::qWait(spacingMs);
    }
    mosquitto_loop_stop(client, true);
    mosquitto_destroy(client);

    QList<SimFrame> frames;
    for (const SimFrame& f : sim.received())
        if (f.hex.mid(9, 2) == QLatin1String("18"))
            frames << f;
    std::vector<qint64> delays;
    for (int i = 0; i < std::min<int>(commands, int(frames.size())); ++i)
        delays.push_back(frames[i].at.toMSecsSinceEpoch() - sentAt[size_t(i)]);
    const bool exact = switches() == expected;
    std::printf(
        "latency: %d commands %s, %lld frames, %s; publish -> frame: median %.0f ms, p99 %.0f ms, "
        "max %.0f ms (1 ms clock)\n",
        commands,
        qPrintable(spacingMs > 0 ? QStringLiteral("%1 ms apart").arg(spacingMs)
                                 : QStringLiteral("back to back")),
        static_cast<long long>(frames.size()),
        exact ? "all byte-exact and in order" : "FRAMES DIFFER", percentile(delays, 0.5),
        percentile(delays, 0.99), percentile(delays, 1.0));
    return exact && percentile(delays, 0.5) < 10 && percentile(delays, 0.99) < 50 ? 0 : 1;
}

int idle(const Broker& broker, int seconds, double poll) {
    QTemporaryDir dir;
    QStringList links;
    std::vector<std::unique_ptr<SimProcess>> sims;
    for (int i = 1; i <= 4; ++i) {
        links << dir.filePath(QStringLiteral("line%1").arg(i));
        sims.push_back(std::make_unique<SimProcess>(
            QStringList{QStringLiteral("--link"), links.last(), QStringLiteral("--address"),
                        QString::number(i), QStringLiteral("--quiet")}));
    }
    Daemon daemon;
    if (!startDaemon(daemon, writeConfig(dir, broker.port(), links, poll), broker, 4))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;
    const qint64 pid = daemon.process.processId();
    QTest::qWait(2000); // settled
    const long hz = ::sysconf(_SC_CLK_TCK);
    const qint64 startTicks = cpuTicks(pid);
    const qint64 startRss = rssKb(pid);
    qint64 peakRss = startRss;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        QTest::qWait(1000);
        peakRss = std::max(peakRss, rssKb(pid));
    }
    const double cpu =
        100.0 * double(cpuTicks(pid) - startTicks) / double(hz) / (double(clock.elapsed()) / 1000);
    const qint64 endRss = rssKb(pid);
    std::printf(
        "idle: 4 controllers polled every %.1f s for %d s: CPU %.3f %% of a core; RSS %.1f MB at "
        "start, %.1f MB at end, %.1f MB peak\n",
        poll, seconds, cpu, double(startRss) / 1024, double(endRss) / 1024, double(peakRss) / 1024);
    return cpu < 0.5 && peakRss < 20 * 1024 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    qputenv("VESKSIM", VESK_BENCH_SIM);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption commands(QStringLiteral("commands"),
                                      QStringLiteral("Set commands (1000)."), QStringLiteral("N"),
                                      QStringLiteral("1000"));
    const QCommandLineOption seconds(QStringLiteral("idle-seconds"),
                                     QStringLiteral("Idle run (120)."), QStringLiteral("S"),
                                     QStringLiteral("120"));
    const QCommandLineOption poll(QStringLiteral("poll-interval"),
                                  QStringLiteral("Poll interval (2)."), QStringLiteral("SECONDS"),
                                  QStringLiteral("2"));
    const QCommandLineOption spacing(
        QStringLiteral("spacing"),
        QStringLiteral("Pause after each frame before the next command (0: back to back)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({commands, seconds, poll, spacing});
    parser.process(app);
    mosquitto_lib_init();
    Broker broker;
    if (!broker.start())
        return std::fprintf(stderr, "mosquitto did not start\n"), 1;
    int failed = 0;
    if (parser.value(commands).toInt() > 0)
        failed |= latency(broker, parser.value(commands).toInt(), parser.value(poll).toDouble(),
                          parser.value(spacing).toInt());
    if (parser.value(seconds).toInt() > 0)
        failed |= idle(broker, parser.value(seconds).toInt(), parser.value(poll).toDouble());
    mosquitto_lib_cleanup();
    std::printf("%s\n", failed ? "FAILED a goal" : "all goals met");
    return failed;
}
