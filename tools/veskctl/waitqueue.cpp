#include "waitqueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/portreasons.h"
#include "core/serialport.h"

namespace vesk::ctl {

WaitQueue::WaitQueue(const PortLocation& location, QObject* parent) : QObject(parent) {
    QString lock;
    if (location.kind == PortLocation::Kind::Device)
        lock = SerialPortControl::lockFilePathFor(location.path);
    if (lock.isEmpty()) {
        // A server, or a device with no lock folder: the queue lives in the temporary folder.
        QString name = location.text();
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("_"));
        lock = QDir::temp().filePath(QStringLiteral("LCK..") + name);
    }
    m_path = lock + QStringLiteral(".queue");
    // The port's lock file goes away in its folder when the holder closes the port.
    m_watcher.addPath(QFileInfo(lock).absolutePath());
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &WaitQueue::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &WaitQueue::changed);
}

WaitQueue::~WaitQueue() {
    leave();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WaitQueue::join(QString* error) {
    const QByteArray path = QFile::encodeName(m_path);
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        *error = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // Jobs of every user queue in one file.
    ::fchmod(m_fd, 0666);
    m_watcher.addPath(m_path);
    const qint64 self = QCoreApplication::applicationPid();
    m_joined = update([self](QList<qint64>& pids) { pids << self; });
    if (!m_joined)
        *error = QStringLiteral("%1: cannot be written").arg(m_path);
    return m_joined;
}

bool WaitQueue::isFirst() {
    update([](QList<qint64>&) {});
    return m_first == QCoreApplication::applicationPid();
}

void WaitQueue::leave() {
    if (!m_joined)
        return;
    m_joined = false;
    const qint64 self = QCoreApplication::applicationPid();
    update([self](QList<qint64>& pids) { pids.removeAll(self); });
}

bool WaitQueue::update(const std::function<void(QList<qint64>&)>& change) {
    if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0)
        return false;
    QByteArray text;
    char buffer[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    QList<qint64> pids;
    bool dropped = false;
    for (const QByteArray& word : text.split('\n')) {
        const qint64 pid = word.trimmed().toLongLong();
        if (processAlive(pid))
            pids << pid;
        else
            dropped = dropped || !word.trimmed().isEmpty();
    }
    const QList<qint64> before = pids;
    change(pids);
    bool ok = true;
    if (dropped || pids != before) {
        QByteArray out;
        for (qint64 pid : pids)
            out += QByteArray::number(pid) + '\n';
        ok = ::ftruncate(m_fd, 0) == 0 &&
             ::pwrite(m_fd, out.constData(), size_t(out.size()), 0) == ssize_t(out.size());
    }
    m_first = pids.isEmpty() ? 0 : pids.first();
    ::flock(m_fd, LOCK_UN);
    return ok;
}

} // namespace vesk::ctl
