// vesk-mqtt-bench: the daemon between a loopback mosquitto and simulated controllers.
//  1. Latency: `set` messages published one after another (each after the previous frame reached
//     the simulator); the time from publishing to the frame in the simulator's log, and whether
//     every frame arrived byte-exact and in order.
//  2. Idle: four controllers polled every two seconds; CPU share and resident memory over time.
//  3. One line, many controllers: 40 controllers on one simulated line, polled more often than the
//     line can carry; status polls per second against the line's limit, each controller's share,
//     and `set` -> frame latency meanwhile. Then 10 of the 40 silent, against the 30 alone, and
//     10 of 40 falling silent at once: the 30 others' polls in the first 15 s and later.
//  4. Scale: 1,000 controllers on 25 lines in one daemon; time to online, open files, CPU, memory,
//     `set` -> frame, and a broker restart.
// Usage: vesk-mqtt-bench [--commands N] [--spacing MS] [--idle-seconds S] [--poll-interval SECONDS]
//                        [--line-seconds S] [--scale-lines N] [--daemon PATH]...
#include "benchkit.h"

#include "core/frames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

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

int idle(const Broker& broker, int seconds, double poll, const QString& program) {
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
    if (!startDaemon(daemon, writeConfig(dir, broker.port(), links, poll), broker, 4, program))
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
        "idle: %s, 4 controllers polled every %.1f s for %d s: CPU %.3f %% of a core; RSS %.1f MB "
        "at start, %.1f MB at end, %.1f MB peak\n",
        qPrintable(program), poll, seconds, cpu, double(startRss) / 1024, double(endRss) / 1024,
        double(peakRss) / 1024);
    return cpu < 0.5 && peakRss < 20 * 1024 ? 0 : 1;
}

struct LineRun {
    double livePerSecond = 0; // polls of the answering controllers
    double low = 0, high = 0; // the least and most polled controller against the mean
    double turnaround = 0;
    std::vector<qint64> setDelays;
};

// `configured` controllers c1.. at addresses 1.. on one line where only 1..`live` answer; after
// `warmup` s, the polls of `seconds` s; then with `sets`, `seconds` s of a `set` for c1 every
// 50 ms.
LineRun lineRun(const Broker& broker, int configured, int live, int warmup, int seconds,
                bool sets) {
    QTemporaryDir dir;
    SimProcess sim({QStringLiteral("--address"), QStringLiteral("1-%1").arg(live)});
    PacedLine line(sim.ptyPath());
    Daemon daemon;
    LineRun run;
    if (!startDaemon(
            daemon,
            writeConfig(dir, broker.port(), QStringList(configured, line.daemonPath()), 0.5),
            broker, live))
        return std::fprintf(stderr, "daemon did not come online\n"), run;
    spin(warmup * 1000);
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    mosquitto_connect(client, "127.0.0.1", broker.port(), 30);
    mosquitto_loop_start(client);
    const QDateTime from = QDateTime::currentDateTime();
    spin(seconds * 1000);
    const QDateTime to = QDateTime::currentDateTime();
    // Then the sets, on the line as busy as before.
    const qsizetype before = sim.received().size();
    std::vector<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; sets && clock.elapsed() < seconds * 1000LL; ++i) {
        const QByteArray topic = QStringLiteral("vesk/c1/channel/%1/set").arg(i % 8 + 1).toUtf8();
        sentAt.push_back(QDateTime::currentMSecsSinceEpoch());
        const char* payload = (i / 8) % 2 ? "OFF" : "ON";
        mosquitto_publish(client, nullptr, topic.constData(), int(qstrlen(payload)), payload, 0,
                          false);
        spin(50);
    }
    spin(500); // the last frames reach the log
    mosquitto_loop_stop(client, true);
    mosquitto_destroy(client);
    const QList<SimFrame> frames = sim.received();
    qsizetype switchIndex = 0;
    for (const SimFrame& f : frames.mid(before))
        if (f.hex.mid(9, 2) == QLatin1String("18") && switchIndex < qsizetype(sentAt.size()))
            run.setDelays.push_back(f.at.toMSecsSinceEpoch() - sentAt[size_t(switchIndex++)]);
    const std::map<int, int> polls = pollsByAddress(frames, from, to);
    int total = 0, low = INT_MAX, high = 0;
    for (int address = 1; address <= live; ++address) {
        const int n = polls.count(address) ? polls.at(address) : 0;
        total += n, low = std::min(low, n), high = std::max(high, n);
    }
    const double mean = double(total) / live;
    run.livePerSecond = total * 1000.0 / double(from.msecsTo(to));
    run.low = mean > 0 ? low / mean : 0;
    run.high = mean > 0 ? high / mean : 0;
    run.turnaround = turnaroundMs(sim.logLines());
    return run;
}

int silence(const Broker& broker, double aloneRate);

int line(const Broker& broker, int seconds) {
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    std::printf("line: load average at the start %s\n",
                load.readAll().split(' ').first().constData());
    const LineRun full = lineRun(broker, 40, 40, 10, seconds, true);
    // The line's limit: a query (7 bytes) and its reply (6 bytes) at 9600 bit/s, ten bits a byte,
    // and the simulator's turnaround between them.
    const double cycleMs = 13 * 10 * 1000.0 / 9600 + full.turnaround;
    const double limit = 1000.0 / cycleMs;
    const double ratio = full.livePerSecond / limit;
    std::printf(
        "line: 40 controllers on one line, each polled every 0.5 s (80/s asked): %.1f polls/s; "
        "line limit %.1f/s (7 + 6 bytes at 9600 8N1 = 13.5 ms, + %.0f ms turnaround); "
        "%.0f %% of it (goal >= 85 %%); shares %.2f-%.2f of the mean (goal 0.80-1.20)\n",
        full.livePerSecond, limit, full.turnaround, 100 * ratio, full.low, full.high);
    std::printf(
        "line: set -> frame while saturated: %zu sets, p50 %.0f ms, p99 %.0f ms, max %.0f ms "
        "(goal p99 < 50 ms)\n",
        full.setDelays.size(), percentile(full.setDelays, 0.5), percentile(full.setDelays, 0.99),
        percentile(full.setDelays, 1.0));
    // After a minute the silent controllers are asked once a minute; the window of a minute holds
    // one attempt of each.
    const LineRun dead = lineRun(broker, 40, 30, 60, 60, false);
    const LineRun alone = lineRun(broker, 30, 30, 10, seconds, false);
    const double kept = alone.livePerSecond > 0 ? dead.livePerSecond / alone.livePerSecond : 0;
    std::printf("line: 10 of 40 silent: the 30 others %.1f polls/s, alone %.1f polls/s: %.0f %% "
                "(goal >= 90 %%); shares %.2f-%.2f of the mean\n",
                dead.livePerSecond, alone.livePerSecond, 100 * kept, dead.low, dead.high);
    const bool met = ratio >= 0.85 && full.low >= 0.8 && full.high <= 1.2 &&
                     percentile(full.setDelays, 0.99) < 50 && kept >= 0.9;
    return (met ? 0 : 1) | silence(broker, alone.livePerSecond);
}

// Ten of 40 controllers on one line falling silent at once (muted in the simulator): the polls of
// the 30 others in the first 15 s and from 30 s to 60 s, against `aloneRate` polls/s of 30 alone.
int silence(const Broker& broker, double aloneRate) {
    QTemporaryDir dir;
    SimProcess sim({QStringLiteral("--address"), QStringLiteral("1-40")});
    PacedLine paced(sim.ptyPath());
    Daemon daemon;
    if (!startDaemon(daemon,
                     writeConfig(dir, broker.port(), QStringList(40, paced.daemonPath()), 0.5),
                     broker, 40))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;
    spin(10000);
    sim.command("mute 31-40 on");
    const QDateTime at = QDateTime::currentDateTime();
    spin(60000);
    const QList<SimFrame> frames = sim.received();
    const auto share = [&](int from, int to) {
        const std::map<int, int> polls =
            pollsByAddress(frames, at.addMSecs(from * 1000), at.addMSecs(to * 1000));
        int total = 0;
        for (int address = 1; address <= 30; ++address)
            total += polls.count(address) ? polls.at(address) : 0;
        return total / double(to - from) / aloneRate;
    };
    const double first = share(0, 15), later = share(30, 60);
    std::printf("silence: 10 of 40 muted at once: the 30 others keep %.0f %% of their polls in the "
                "first 15 s (goal >= 70 %%), %.0f %% from 30 s to 60 s (goal >= 90 %%)\n",
                100 * first, 100 * later);
    return first >= 0.7 && later >= 0.9 ? 0 : 1;
}

// Open files of a process.
int openFiles(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)
                   .size());
}

// 1,000 controllers on 25 lines of 40 (one simulator each, polled every 2 s) in one daemon: time
// until all are online, open files, CPU and memory, `set` -> frame, and a broker restart.
int scale(Broker& broker, int lines, int seconds) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SimProcess>> sims;
    QString text = QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\n").arg(broker.port());
    for (int l = 1; l <= lines; ++l) {
        sims.push_back(std::make_unique<SimProcess>(
            QStringList{QStringLiteral("--address"), QStringLiteral("1-40")}));
        for (int a = 1; a <= 40; ++a)
            text += QStringLiteral("[controller l%1a%2]\nport = %3\naddress = %2\n")
                        .arg(l)
                        .arg(a)
                        .arg(sims.back()->ptyPath());
    }
    const int controllers = lines * 40;
    const QString config = dir.filePath(QStringLiteral("scale.conf"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    file.close();
    Subscriber watch(broker, {QStringLiteral("vesk/+/availability")});
    Daemon daemon;
    const QString logPath = dir.filePath(QStringLiteral("daemon.log"));
    daemon.process.setStandardErrorFile(logPath);
    QElapsedTimer clock;
    clock.start();
    daemon.process.start(QStringLiteral(VESK_MQTT_BIN), {QStringLiteral("--config"), config});
    const auto online = [&watch] {
        QSet<QString> names;
        for (const QString& line : watch.lines())
            if (line.endsWith(QLatin1String(" online")))
                names.insert(line.section(QLatin1Char(' '), 0, 0));
            else
                names.remove(line.section(QLatin1Char(' '), 0, 0));
        return int(names.size());
    };
    while (online() < controllers && clock.elapsed() < 120000)
        QTest::qWait(200);
    const qint64 allOnline = clock.elapsed();
    const qint64 pid = daemon.process.processId();
    QTest::qWait(5000);
    const long hz = ::sysconf(_SC_CLK_TCK);
    const qint64 ticks = cpuTicks(pid);
    clock.restart();
    spin(seconds * 1000);
    const double cpu =
        100.0 * double(cpuTicks(pid) - ticks) / double(hz) / (double(clock.elapsed()) / 1000);
    std::printf("scale: %d controllers on %d lines, one daemon: all online after %.1f s (goal "
                "< 60 s); %d open files; CPU %.2f %% of a core over %d s (goal < 5 %%); RSS "
                "%.1f MB (goal < 60 MB)\n",
                controllers, lines, double(allOnline) / 1000, openFiles(pid), cpu, seconds,
                double(rssKb(pid)) / 1024);
    // `set` -> frame for controllers all over the site, one every 50 ms.
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    mosquitto_connect(client, "127.0.0.1", broker.port(), 30);
    mosquitto_loop_start(client);
    std::vector<qint64> delays;
    for (int i = 0; i < 200; ++i) {
        const int l = i % lines + 1, a = (i * 7) % 40 + 1, channel = i % 8 + 1;
        const auto& sim = sims[size_t(l - 1)];
        const qsizetype before = sim->received().size();
        const QByteArray topic =
            QStringLiteral("vesk/l%1a%2/channel/%3/set").arg(l).arg(a).arg(channel).toUtf8();
        const qint64 sent = QDateTime::currentMSecsSinceEpoch();
        mosquitto_publish(client, nullptr, topic.constData(), 2, "ON", 0, false);
        const QString frame = vesk::hexText(vesk::switchFrame(quint8(a), channel, true)).trimmed();
        const QDeadlineTimer deadline(2000);
        bool found = false;
        while (!found && !deadline.hasExpired()) {
            QTest::qWait(1);
            for (const SimFrame& f : sim->received().mid(before))
                if (f.hex == frame)
                    found = true, delays.push_back(f.at.toMSecsSinceEpoch() - sent);
        }
        spin(50);
    }
    std::printf("scale: set -> frame, 200 sets over the site: p50 %.0f ms, p99 %.0f ms, max %.0f "
                "ms (goal p99 < 50 ms); %zu of 200 arrived\n",
                percentile(delays, 0.5), percentile(delays, 0.99), percentile(delays, 1.0),
                delays.size());
    mosquitto_loop_stop(client, true);
    mosquitto_destroy(client);
    // The broker restarts, keeping nothing: how soon is everything there again, and what is logged.
    QFile log(logPath);
    log.open(QIODevice::ReadOnly);
    const qsizetype logged = log.readAll().count('\n');
    broker.kill();
    spin(2000);
    broker.start();
    clock.restart();
    Subscriber again(broker, {QStringLiteral("vesk/+/availability"),
                              QStringLiteral("homeassistant/+/+/config")});
    // Each controller's availability and 13 discovery configs, and the daemon's own availability.
    const int expected = controllers * (1 + 13) + 1;
    while (again.lines().size() < expected && clock.elapsed() < 60000)
        QTest::qWait(100);
    const qint64 republished = clock.elapsed();
    spin(3000);
    log.seek(0);
    const qsizetype lines2 = log.readAll().count('\n') - logged;
    std::printf("scale: broker restart: %lld of %d availability and discovery topics back after "
                "%.1f s (goal < 10 s); %lld log lines (goal <= 3)\n",
                static_cast<long long>(again.lines().size()), expected, double(republished) / 1000,
                static_cast<long long>(lines2));
    return allOnline < 60000 && cpu < 5 && rssKb(pid) < 60 * 1024 &&
                   percentile(delays, 0.99) < 50 && republished < 10000 && lines2 <= 3
               ? 0
               : 1;
}

} // namespace

int main(int argc, char* argv[]) {
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
    const QCommandLineOption lineSeconds(
        QStringLiteral("line-seconds"),
        QStringLiteral("Measuring time of the one-line runs (30; 0: skip them)."),
        QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption scaleLines(
        QStringLiteral("scale-lines"),
        QStringLiteral("Lines of 40 controllers in the scale run (25; 0: skip it)."),
        QStringLiteral("N"), QStringLiteral("25"));
    const QCommandLineOption daemons(
        QStringLiteral("daemon"),
        QStringLiteral("The daemon of the idle run (this build's); repeat to compare builds."),
        QStringLiteral("PATH"));
    return runBench(
        argc, argv, {commands, seconds, poll, spacing, lineSeconds, scaleLines, daemons},
        [&](const QCommandLineParser& parser, Broker& broker) {
            mosquitto_lib_init();
            int failed = 0;
            if (parser.value(commands).toInt() > 0)
                failed |= latency(broker, parser.value(commands).toInt(),
                                  parser.value(poll).toDouble(), parser.value(spacing).toInt());
            if (parser.value(seconds).toInt() > 0)
                for (const QString& program :
                     parser.isSet(daemons) ? parser.values(daemons) : QStringList{VESK_MQTT_BIN})
                    failed |= idle(broker, parser.value(seconds).toInt(),
                                   parser.value(poll).toDouble(), program);
            if (parser.value(lineSeconds).toInt() > 0)
                failed |= line(broker, parser.value(lineSeconds).toInt());
            if (parser.value(scaleLines).toInt() > 0)
                failed |= scale(broker, parser.value(scaleLines).toInt(), 30);
            mosquitto_lib_cleanup();
            return failed;
        });
}
