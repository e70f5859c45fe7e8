// vesk-sim as a child process, for the tests and the bench: started on a pseudo-terminal (with
// `--link PATH` among its arguments also reachable through that symlink), its log of received
// frames, its state on request, and a clean stop.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

// Moves the complete lines of `partial` (text up to each '\n') to `lines`; the unfinished rest
// stays in `partial` for the next read.
void takeLines(QByteArray& partial, QStringList& lines);

struct SimFrame {
    QDateTime at;
    QString hex; // "CA 20 FE 20 01 01 F5"
};

class SimProcess {
public:
    // Starts `program` (by default $VESKSIM) with `arguments` such as --quiet, --address N or
    // --link PATH, and waits until it reports its terminal: by then any link exists.
    explicit SimProcess(const QStringList& arguments = {}, const QString& program = {});
    ~SimProcess() { stop(); }

    bool isRunning() const { return m_process.state() == QProcess::Running && !m_pty.isEmpty(); }
    QString ptyPath() const { return m_pty; }

    // Frames the simulator received so far (log lines "RX ..."), and every log line.
    QList<SimFrame> received();
    QStringList logLines();
    // Waits, processing events, until at least `count` received frames or `timeoutMs`.
    bool waitForReceived(int count, int timeoutMs);
    // The state as the simulator reports it: of its one controller, of the controllers at
    // `addresses` ("7", "1-3"), or {"controllers": [...]} for several.
    QJsonObject state(const QByteArray& addresses = {});
    void command(const QByteArray& line);
    // Asks the simulator to quit, killing it after 3 s; true when it ended by itself with code 0.
    // Its link goes with it.
    bool stop();

private:
    QProcess m_process;
    QString m_pty;
    QStringList m_log;
    QByteArray m_partial;
};
