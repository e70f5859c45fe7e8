#include "consoleprocess.h"

#include "support/simprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <unistd.h>

ConsoleProcess::ConsoleProcess(const QMap<int, QString>& ports, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (int n = 1; n <= 4; ++n)
        env.insert(QStringLiteral("VESKPANEL_COM%1").arg(n),
                   ports.value(n, QStringLiteral("/nonexistent/vesk-com%1").arg(n)));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(env);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_stderr += m_process.readAllStandardError(); });
    m_process.start(QStringLiteral(VESK_FAULTCONSOLE), arguments);
    if (!m_process.waitForStarted(5000))
        return;
    m_ready = !waitForLine(QStringLiteral("READY"), 15000).isEmpty();
}

ConsoleProcess::~ConsoleProcess() {
    if (m_process.state() == QProcess::Running) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void ConsoleProcess::readOutput() {
    m_partial += m_process.readAllStandardOutput();
    takeLines(m_partial, m_lines);
}

void ConsoleProcess::send(const QString& line) {
    m_process.write(line.toUtf8() + '\n');
}

QString ConsoleProcess::waitForLine(const QString& prefix, int timeoutMs, qsizetype from) {
    QString found;
    [[maybe_unused]] const bool seen = QTest::qWaitFor(
        [&] {
            readOutput();
            for (qsizetype i = from; i < m_lines.size(); ++i) {
                if (m_lines[i].startsWith(prefix)) {
                    found = m_lines[i];
                    return true;
                }
            }
            return m_process.state() != QProcess::Running;
        },
        timeoutMs);
    return found;
}

QStringList ConsoleProcess::messages() const {
    QStringList out;
    for (const QString& line : m_lines) {
        if (line.startsWith(QLatin1String("MSG ")))
            out << line.mid(4);
    }
    return out;
}

QHash<QString, QString> ConsoleProcess::stats(int timeoutMs) {
    const qsizetype from = m_lines.size();
    send(QStringLiteral("stats"));
    const QString line = waitForLine(QStringLiteral("STATS "), timeoutMs, from);
    QHash<QString, QString> fields;
    for (const QString& field : line.mid(6).split(QLatin1Char(' ')))
        fields.insert(field.section(QLatin1Char('='), 0, 0), field.section(QLatin1Char('='), 1));
    return fields;
}

qint64 ConsoleProcess::closeAndWait(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    send(QStringLiteral("close"));
    if (!m_process.waitForFinished(timeoutMs))
        return -1;
    const qint64 elapsed = clock.elapsed();
    readOutput();
    m_stderr += m_process.readAllStandardError();
    return elapsed;
}

QString ConsoleProcess::errorOutput() {
    m_stderr += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_stderr);
}

bool ConsoleProcess::hasFaultReport() {
    const QString text = errorOutput();
    return text.contains(QLatin1String("Sanitizer")) ||
           text.contains(QLatin1String("runtime error")) ||
           text.contains(QLatin1String("QFATAL")) || text.contains(QLatin1String("ASSERT"));
}

qint64 ConsoleProcess::cpuMs() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name (which may hold blanks) start after the last ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong(); // utime, stime
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}
