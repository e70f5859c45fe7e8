// vesk-share-bench: programs on a line that vesk-mqtt holds and shares, against a free line.
//  1. command: `veskctl on 3` through the share against the same command on the free line, the
//     process from start to exit, 20 of each.
//  2. wire: a line saturated by 40 polled controllers (paced at 9600 bit/s) while clients on the
//     share send 5 switching frames a second: client frame -> on the line, and the polls the line
//     still carries against the same line without clients.
//  3. crowd: 20 veskctl at once on 20 channels of 3 controllers: every one exits 0 and reads back
//     its own channel on, and the controllers end with exactly those channels on.
// Usage: vesk-share-bench [--runs N] [--wire-seconds S] [--sections command,wire,crowd]
#include "benchkit.h"

#include "core/frames.h"
#include "core/share.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace bench;

qint64 runVeskctl(const QStringList& arguments, QString* out = nullptr) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VESKCTL_BIN), arguments);
    process.waitForFinished(30000);
    const qint64 ms = clock.elapsed();
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 ? ms : -1;
}

// The median time of `runs` runs of `veskctl on 3` / `off 3` (taking turns, so each one switches)
// at address 3; -1 when one failed.
double commandMedian(const QString& link, int runs) {
    std::vector<qint64> times;
    for (int i = 0; i < runs; ++i) {
        const qint64 ms =
            runVeskctl({QStringLiteral("-p"), link, QStringLiteral("-a"), QStringLiteral("3"),
                        i % 2 ? QStringLiteral("off") : QStringLiteral("on"), QStringLiteral("3")});
        if (ms < 0)
            return -1;
        times.push_back(ms);
    }
    return percentile(times, 0.5);
}

int command(const Broker& broker, int runs) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    SimProcess sim({QStringLiteral("--link"), link, QStringLiteral("--address"),
                    QStringLiteral("3"), QStringLiteral("--quiet")});
    const double free = commandMedian(link, runs);
    // The daemon polls the controller the client switches (address 3), every 2 s as by default.
    QFile config(dir.filePath(QStringLiteral("bench.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[broker]\nhost = 127.0.0.1\nport = %1\n[controller c1]\nport = "
                                "%2\naddress = 3\n")
                     .arg(broker.port())
                     .arg(link)
                     .toUtf8());
    config.close();
    Daemon daemon;
    if (!startDaemon(daemon, config.fileName(), broker, 1))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;
    const double through = commandMedian(link, runs);
    std::printf("command: veskctl on/off 3, median of %d: free line %.1f ms, through the share "
                "%.1f ms, difference %+.1f ms (goal within 15 ms)\n",
                runs, free, through, through - free);
    return free > 0 && through > 0 && through - free <= 15 ? 0 : 1;
}

// A client of the share of `port`, connected and past the greeting.
std::unique_ptr<QLocalSocket> shareClient(const QString& port) {
    const auto pointer = vesk::share::readPointer(QFileInfo(port).canonicalFilePath());
    if (!pointer)
        return nullptr;
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(pointer->socket);
    if (!socket->waitForConnected(2000))
        return nullptr;
    while (!socket->canReadLine())
        if (!socket->waitForReadyRead(2000))
            return nullptr;
    const auto greeting = vesk::share::parseGreeting(socket->readLine());
    if (!greeting || !greeting->refusal.isEmpty())
        return nullptr;
    // Replies to the client's frames are read and dropped.
    QObject::connect(socket.get(), &QLocalSocket::readyRead, socket.get(),
                     [s = socket.get()] { s->readAll(); });
    return socket;
}

int wire(const Broker& broker, int seconds) {
    QTemporaryDir dir;
    SimProcess sim({QStringLiteral("--address"), QStringLiteral("1-40")});
    PacedLine line(sim.ptyPath());
    Daemon daemon;
    if (!startDaemon(daemon,
                     writeConfig(dir, broker.port(), QStringList(40, line.daemonPath()), 0.5),
                     broker, 40))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;
    spin(10000);
    const auto pollRate = [&sim](const QDateTime& from, const QDateTime& to) {
        int total = 0;
        for (const auto& [address, n] : pollsByAddress(sim.received(), from, to))
            total += n;
        return total * 1000.0 / double(from.msecsTo(to));
    };
    const QDateTime quietFrom = QDateTime::currentDateTime();
    spin(seconds * 1000);
    const double alone = pollRate(quietFrom, QDateTime::currentDateTime());

    // Five clients, each sending one switching frame a second, a fifth of a second apart.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(shareClient(line.daemonPath()));
        if (!clients.back())
            return std::fprintf(stderr, "no share to connect to\n"), 1;
    }
    struct Sent {
        qint64 at;
        QString hex;
    };
    std::vector<Sent> sent;
    const qsizetype before = sim.received().size();
    const QDateTime busyFrom = QDateTime::currentDateTime();
    for (int i = 0; i < seconds * 5; ++i) {
        const QByteArray frame = vesk::switchFrame(quint8(i % 40 + 1), i % 8 + 1, (i / 8) % 2 == 0);
        sent.push_back({QDateTime::currentMSecsSinceEpoch(), vesk::hexText(frame).trimmed()});
        clients[size_t(i % 5)]->write(frame);
        clients[size_t(i % 5)]->flush();
        spin(200);
    }
    const QDateTime busyTo = QDateTime::currentDateTime();
    spin(1000);
    const double busy = pollRate(busyFrom, busyTo);
    std::vector<qint64> delays;
    size_t next = 0;
    for (const SimFrame& f : sim.received().mid(before))
        if (next < sent.size() && f.hex == sent[next].hex)
            delays.push_back(f.at.toMSecsSinceEpoch() - sent[next++].at);
    std::printf("wire: 40 controllers polled on one line, clients sending 5 frames/s: %zu of %zu "
                "frames on the line in order; client frame -> simulator (8 bytes at 9600 bit/s "
                "included): p50 %.0f ms, p99 %.0f ms, max %.0f ms (goal p99 < 30 ms)\n",
                delays.size(), sent.size(), percentile(delays, 0.5), percentile(delays, 0.99),
                percentile(delays, 1.0));
    std::printf("wire: polls %.1f/s without clients, %.1f/s with them: %.0f %% (goal >= 80 %%)\n",
                alone, busy, 100 * busy / alone);
    return delays.size() == sent.size() && percentile(delays, 0.99) < 30 && busy >= 0.8 * alone ? 0
                                                                                                : 1;
}

int crowd(const Broker& broker) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    SimProcess sim({QStringLiteral("--link"), link, QStringLiteral("--address"),
                    QStringLiteral("1-3"), QStringLiteral("--quiet")});
    Daemon daemon;
    if (!startDaemon(daemon, writeConfig(dir, broker.port(), QStringList(3, link), 0.5), broker, 3))
        return std::fprintf(stderr, "daemon did not come online\n"), 1;
    std::vector<std::unique_ptr<QProcess>> clients;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<QProcess>());
        clients.back()->start(QStringLiteral(VESKCTL_BIN),
                              {QStringLiteral("-p"), link, QStringLiteral("-a"),
                               QString::number(i / 8 + 1), QStringLiteral("--json"),
                               QStringLiteral("on"), QString::number(i % 8 + 1)});
    }
    int ok = 0, readBack = 0, through = 0;
    for (int i = 0; i < 20; ++i) {
        QProcess& p = *clients[size_t(i)];
        p.waitForFinished(30000);
        ok += p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        const QJsonObject json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        through += json.value(QStringLiteral("via")).toString().startsWith(u"through");
        readBack += json.value(QStringLiteral("address")).toInt() == i / 8 + 1 &&
                    json.value(QStringLiteral("channels")).toArray().at(i % 8).toBool();
    }
    const qint64 ms = clock.elapsed();
    // Exactly the 20 channels asked for are on, and nothing else.
    int on = 0, wrong = 0;
    for (int a = 1; a <= 3; ++a) {
        const int channels =
            sim.state(QByteArray::number(a)).value(QStringLiteral("channels")).toInt();
        for (int c = 0; c < 8; ++c) {
            const bool asked = (a - 1) * 8 + c < 20;
            const bool isOn = (channels >> c) & 1;
            on += isOn;
            wrong += isOn != asked;
        }
    }
    std::printf("crowd: 20 veskctl at once on 20 channels of 3 controllers: %d exit 0, %d through "
                "the share, %d read back their own channel on, %d channels on and %d wrong at "
                "the end; all done in %lld ms\n",
                ok, through, readBack, on, wrong, static_cast<long long>(ms));
    return ok == 20 && readBack == 20 && wrong == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("Runs of each command (20)."), QStringLiteral("N"),
                                  QStringLiteral("20"));
    const QCommandLineOption wireSeconds(QStringLiteral("wire-seconds"),
                                         QStringLiteral("Each half of the wire run (20)."),
                                         QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption sections(QStringLiteral("sections"),
                                      QStringLiteral("Which parts (command,wire,crowd)."),
                                      QStringLiteral("LIST"), QStringLiteral("command,wire,crowd"));
    return runBench(argc, argv, {runs, wireSeconds, sections},
                    [&](const QCommandLineParser& parser, Broker& broker) {
                        const QStringList chosen = parser.value(sections).split(QLatin1Char(','));
                        int failed = 0;
                        if (chosen.contains(QLatin1String("command")))
                            failed |= command(broker, parser.value(runs).toInt());
                        if (chosen.contains(QLatin1String("wire")))
                            failed |= wire(broker, parser.value(wireSeconds).toInt());
                        if (chosen.contains(QLatin1String("crowd")))
                            failed |= crowd(broker);
                        return failed;
                    });
}
