// The simulated controller as a child process: its pseudo-terminal path, its log of received
// frames with their times, and its state on request.
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
    explicit SimProcess(const QStringList& arguments = {});
    ~SimProcess();

    bool isRunning() const { return m_process.state() == QProcess::Running && !m_pty.isEmpty(); }
    QString ptyPath() const { return m_pty; }

    // Frames the simulator received so far (log lines "RX ..."), and every log line.
    QList<SimFrame> received();
    QStringList logLines();
    // Waits until at least `count` received frames or `timeoutMs`.
    bool waitForReceived(int count, int timeoutMs);
    // The device state as the simulator reports it.
    QJsonObject state();
    void command(const QByteArray& line);

private:
    void readLog();

    QProcess m_process;
    QString m_pty;
    QStringList m_log;
    QByteArray m_partial;
};
