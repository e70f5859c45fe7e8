#include "simprocess.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTest>

SimProcess::SimProcess(const QStringList& arguments, const QString& program) {
    m_process.start(program.isEmpty() ? qEnvironmentVariable("VESKSIM") : program, arguments);
    if (!m_process.waitForStarted(5000))
        return;
    const QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(100);
    const QString first = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (first.startsWith(QLatin1String("PTY ")))
        m_pty = first.mid(4);
}

bool SimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return !m_pty.isEmpty() && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    command("quit");
    if (m_process.waitForFinished(3000))
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.kill();
    m_process.waitForFinished(1000);
    return false;
}

void takeLines(QByteArray& partial, QStringList& lines) {
    qsizetype end;
    while ((end = partial.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(partial.left(end));
        partial.remove(0, end + 1);
    }
}

void SimProcess::command(const QByteArray& line) {
    m_process.write(line + '\n');
}

QStringList SimProcess::logLines() {
    m_partial += m_process.readAllStandardError();
    takeLines(m_partial, m_log);
    return m_log;
}

QList<SimFrame> SimProcess::received() {
    QList<SimFrame> frames;
    for (const QString& line : logLines()) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        if (space < 0 || line.mid(space + 1, 3) != QLatin1String("RX "))
            continue;
        frames.append({QDateTime::fromString(line.left(space), Qt::ISODateWithMs),
                       line.mid(space + 4).trimmed()});
    }
    return frames;
}

bool SimProcess::waitForReceived(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return received().size() >= count; }, timeoutMs);
}

QJsonObject SimProcess::state(const QByteArray& addresses) {
    m_process.readAllStandardOutput();
    command("state " + addresses);
    const QDeadlineTimer deadline(3000);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(50);
    return QJsonDocument::fromJson(m_process.readLine()).object();
}
