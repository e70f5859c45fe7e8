#include "waitqueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

int openQueueFile(const QString& path, const QString& device) {
    const QByteArray name = QFile::encodeName(path);
    // An existing file is opened without O_CREAT: in a sticky folder the system refuses O_CREAT on
    // another user's file even where its mode lets us write it.
    int fd = -1;
    bool made = false;
    for (int tries = 0; fd < 0 && tries < 3; ++tries) {
        fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT)
            break;
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        made = fd >= 0;
        if (fd < 0 && errno != EEXIST) // EEXIST: another job made it just now
            break;
    }
    if (fd < 0)
        return fd;
    // Jobs of every user who may open the device queue together: the file gets the device's
    // group and is writable by it, by nobody else. A world-writable file of ours (made by an
    // earlier version) is put right.
    struct stat file {};
    const bool keep = !made && ::fstat(fd, &file) == 0 &&
                      ((file.st_mode & S_IWOTH) == 0 || file.st_uid != ::geteuid());
    if (keep)
        return fd;
    struct stat node {};
    const bool group = !device.isEmpty() &&
                       ::stat(QFile::encodeName(device).constData(), &node) == 0 &&
                       ::fchown(fd, uid_t(-1), node.st_gid) == 0;
    ::fchmod(fd, group ? QueueFileMode : 0600);
    return fd;
}

WaitQueue::WaitQueue(const PortLocation& location, QObject* parent) : QObject(parent) {
    bool shared = false;
    const QString lock = portLockPath(location, &shared);
    // A server's queue is this user's own (a server tells its other clients itself that it is
    // busy); a device's is shared by the device's group.
    if (shared)
        m_device = SerialPortControl::canonicalDevice(location.path);
    m_path = lock + QStringLiteral(".queue");
    // The port's lock file goes away in its folder when the holder closes the port.
    m_lock = lock;
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &WaitQueue::changed);
}

WaitQueue::~WaitQueue() {
    leave();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WaitQueue::join(QString* error) {
    m_fd = openQueueFile(m_path, m_device);
    if (m_fd < 0) {
        *error = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_watcher.addPath(m_path);
    const qint64 self = QCoreApplication::applicationPid();
    m_joined = update([self](QList<qint64>& pids) { pids << self; });
    if (!m_joined)
        *error = QStringLiteral("%1: cannot be written").arg(m_path);
    return m_joined;
}

bool WaitQueue::watchLock() {
    if (m_watcher.files().contains(m_lock))
        return true;
    return QFileInfo::exists(m_lock) && m_watcher.addPath(m_lock);
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
