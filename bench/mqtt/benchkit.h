// What the daemon benches share: the daemon as a child process, its configuration, the line
// paced at 9600 bit/s between it and the simulator, and the figures taken from /proc.
#pragma once

#include "mqtt/broker.h"
#include "support/pty.h"
#include "support/simprocess.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <map>
#include <vector>

namespace bench {

// A bench's main(): the application, its options (and --help), a loopback mosquitto, then `body`
// with both; says whether every goal was met. Returns main()'s exit code (body's: 0 when met).
int runBench(int argc, char* argv[], const QList<QCommandLineOption>& options,
             const std::function<int(const QCommandLineParser&, Broker&)>& body);

struct Daemon {
    QProcess process;
    ~Daemon() {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
};

// Writes a configuration of controllers c1.. at addresses 1.., one per entry of `links`.
QString writeConfig(const QTemporaryDir& dir, int brokerPort, const QStringList& links,
                    double poll);
// Starts `program` (the daemon of this build by default) and waits until c1..`controllers` are
// online.
bool startDaemon(Daemon& daemon, const QString& config, const Broker& broker, int controllers,
                 const QString& program = QStringLiteral(VESK_MQTT_BIN));

// utime + stime of a process in clock ticks, and its resident set in kB.
qint64 cpuTicks(qint64 pid);
qint64 rssKb(qint64 pid);
// The nearest-rank percentile p (0..1) of `values`, 0 for none.
double percentile(std::vector<qint64> values, double p);

// Status polls the simulator received per address, in [from, to).
std::map<int, int> pollsByAddress(const QList<SimFrame>& frames, const QDateTime& from,
                                  const QDateTime& to);
// The simulator's time from a status query to its reply, median over its log (1 ms clock).
double turnaroundMs(const QStringList& log);

// Runs the event loop for `ms` without the pauses QTest::qWait() makes between its passes, which
// would hold up the paced line.
void spin(int ms);

// A line between the daemon and the simulator that carries the daemon's bytes at 9600 bit/s, one
// every 1.04 ms, as a real line does; a pseudo-terminal alone would deliver a query at once. The
// simulator paces its replies itself, so they pass straight back.
class PacedLine : public QObject {
public:
    explicit PacedLine(const QString& simPty);
    ~PacedLine() override;
    QString daemonPath() const { return m_daemon.slavePath(); }

private:
    void pace();

    PtyPair m_daemon;
    int m_sim = -1;
    QByteArray m_queue;
    qint64 m_sent = 0;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

} // namespace bench
