// The console as a child process (vesk-faultconsole), driven through its command lines, with the
// time from the close request to the end of the process, its exit code and its error output.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

class ConsoleProcess {
public:
    // `ports` maps n to the path for COMn (missing entries point nowhere).
    ConsoleProcess(const QMap<int, QString>& ports, const QStringList& arguments);
    ~ConsoleProcess();

    bool isReady() const { return m_ready; }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    void send(const QString& line);
    // Waits (processing events) for an output line starting with `prefix`, seen after the line
    // index `from`; returns the line, or an empty string on time-out.
    QString waitForLine(const QString& prefix, int timeoutMs, qsizetype from = 0);
    qsizetype lineCount() const { return m_lines.size(); }
    QStringList lines() const { return m_lines; }
    // Texts of the recorded message boxes ("MSG ..." lines), in order.
    QStringList messages() const;

    // The console's "STATS" line as fields: gap (largest gap between ticks of its 10 ms timer),
    // rss (kB), lamps ("10100000": lamp k red), ports ("1000": COMn+1's caption red, port open),
    // written (frames handed to the port), pending (operations still waiting).
    QHash<QString, QString> stats(int timeoutMs = 5000);

    // Asks the window to close and waits for the process to end. Returns the milliseconds from
    // the request to the end, or -1 when it did not end within `timeoutMs`.
    qint64 closeAndWait(int timeoutMs);
    int exitCode() const { return m_process.exitCode(); }
    bool crashed() const { return m_process.exitStatus() != QProcess::NormalExit; }
    QString errorOutput();
    // Whether the error output holds a sanitizer or Qt fatal report.
    bool hasFaultReport();

    // CPU time (user + system) the process used so far, in milliseconds.
    qint64 cpuMs() const;

private:
    void readOutput();

    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partial;
    QByteArray m_stderr;
    bool m_ready = false;
};

// "CA 20 FE" -> the three bytes.
inline QByteArray wireBytes(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
