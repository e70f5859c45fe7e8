#include "benchkit.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

int runBench(int argc, char* argv[], const QList<QCommandLineOption>& options,
             const std::function<int(const QCommandLineParser&, Broker&)>& body) {
    QCoreApplication app(argc, argv);
    qputenv("VESKSIM", VESK_BENCH_SIM);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions(options);
    parser.process(app);
    Broker broker;
    if (!broker.start())
        return std::fprintf(stderr, "mosquitto did not start\n"), 1;
    const int failed = body(parser, broker);
    std::printf("%s\n", failed ? "FAILED a goal" : "all goals met");
    return failed;
}

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

bool startDaemon(Daemon& daemon, const QString& config, const Broker& broker, int controllers,
                 const QString& program) {
    Subscriber watch(broker, {QStringLiteral("vesk/+/availability")});
    daemon.process.setStandardErrorFile(QProcess::nullDevice());
    daemon.process.start(program, {QStringLiteral("--config"), config});
    for (int i = 1; i <= controllers; ++i)
        if (!watch.waitFor(QStringLiteral("vesk/c%1/availability online").arg(i), 10000))
            return false;
    return true;
}

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

std::map<int, int> pollsByAddress(const QList<SimFrame>& frames, const QDateTime& from,
                                  const QDateTime& to) {
    std::map<int, int> polls;
    for (const SimFrame& f : frames)
        if (f.hex.mid(9, 2) == QLatin1String("20") && f.at >= from && f.at < to)
            ++polls[f.hex.mid(6, 2).toInt(nullptr, 16)];
    return polls;
}

double turnaroundMs(const QStringList& log) {
    std::vector<qint64> gaps;
    QDateTime asked;
    for (const QString& line : log) {
        const QDateTime at = QDateTime::fromString(line.section(' ', 0, 0), Qt::ISODateWithMs);
        const QString kind = line.section(' ', 1, 1), hex = line.section(' ', 2);
        if (kind == QLatin1String("RX") && hex.mid(9, 2) == QLatin1String("20"))
            asked = at;
        else if (kind == QLatin1String("TX") && asked.isValid())
            gaps.push_back(asked.msecsTo(at)), asked = {};
    }
    return percentile(gaps, 0.5);
}

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

PacedLine::PacedLine(const QString& simPty) {
    m_sim = ::open(simPty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    tcgetattr(m_sim, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_sim, TCSANOW, &tio);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    connect(&m_timer, &QTimer::timeout, this, &PacedLine::pace);
    connect(&m_daemon, &PtyPair::bytesArrived, this, [this] {
        m_queue += m_daemon.allBytes();
        m_daemon.clear();
        if (!m_timer.isActive())
            m_clock.start(), m_sent = 0, m_timer.start();
    });
    auto* notifier = new QSocketNotifier(m_sim, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[512];
        const ssize_t n = ::read(m_sim, buffer, sizeof buffer);
        if (n > 0)
            m_daemon.writeNow(QByteArray(buffer, n));
    });
}

PacedLine::~PacedLine() {
    ::close(m_sim);
}

// Byte k has fully arrived (k + 1) byte times after the first one started.
void PacedLine::pace() {
    const qint64 due = m_clock.nsecsElapsed() * 9600 / 10'000'000'000 - m_sent;
    const qsizetype n = std::min<qsizetype>(due, m_queue.size());
    // A short write has still sent what it reports.
    if (const ssize_t w = n > 0 ? ::write(m_sim, m_queue.constData(), size_t(n)) : 0; w > 0)
        m_queue.remove(0, w), m_sent += w;
    if (m_queue.isEmpty())
        m_timer.stop();
}

} // namespace bench
