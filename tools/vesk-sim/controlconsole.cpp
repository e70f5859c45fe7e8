#include "controlconsole.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace vesk::sim {

ControlConsole::ControlConsole(int fd, QObject* parent)
    : QObject(parent), m_fd(fd), m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &ControlConsole::readAvailable);
}

void ControlConsole::readAvailable() {
    // One read per notification: the descriptor is readable, so it does not block, and stdin is
    // left blocking for whoever shares it.
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        const QString last = QString::fromUtf8(m_pending).trimmed();
        m_pending.clear();
        if (!last.isEmpty())
            emit command(last);
        emit endOfInput();
        return;
    }
    m_pending.append(buffer, n);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.first(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (!line.isEmpty())
            emit command(line);
    }
}

} // namespace vesk::sim
