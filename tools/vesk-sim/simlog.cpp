#include "simlog.h"

#include "protocol.h"

#include <QDateTime>

#include <cstdio>

namespace vesk::sim {

bool SimLog::open(const QString& path, bool quiet, QString* error) {
    m_quiet = quiet;
    if (quiet)
        return true;
    bool opened = false;
    if (path.isEmpty()) {
        opened = m_file.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else {
        // Appends, so that an earlier run's log is never lost.
        m_file.setFileName(path);
        opened = m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    if (!opened)
        *error = QStringLiteral("cannot open log %1: %2")
                     .arg(path.isEmpty() ? QStringLiteral("stderr") : path, m_file.errorString());
    return opened;
}

void SimLog::line(const QString& text) {
    if (m_quiet || !m_file.isOpen())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    m_file.write((stamp + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
    m_file.flush();
}

QString SimLog::hex(QByteArrayView bytes) {
    return toHex(bytes);
}

} // namespace vesk::sim
