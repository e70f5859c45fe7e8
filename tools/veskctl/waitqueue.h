// Jobs waiting for one port, served first come first served across processes: a queue file of
// process ids beside the port's lock file, changed under an exclusive flock() and watched with
// the file-system watcher, so that a waiting job sleeps until the queue or the port's lock
// changes instead of polling. The lock file itself is watched, not its folder, where every other
// program's locks come and go.
#pragma once

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "core/portlocation.h"

namespace vesk::ctl {

// The mode of a queue file beside a device's lock file, in the device's group.
inline constexpr int QueueFileMode = 0660;

// Opens the queue file at `path`, making it when it is not there; for a `device` (empty: a
// server) the new file belongs to the device's group with QueueFileMode, otherwise it is the
// maker's alone. The descriptor, or -1 with errno set.
int openQueueFile(const QString& path, const QString& device);

class WaitQueue : public QObject {
    Q_OBJECT
public:
    explicit WaitQueue(const PortLocation& location, QObject* parent = nullptr);
    // Leaves the queue.
    ~WaitQueue() override;

    // Takes a place at the end; false (with the reason) when the queue file cannot be used.
    bool join(QString* error);
    // Whether this process is first among the live ones in the queue (entries of processes that
    // ended without leaving are dropped on the way).
    bool isFirst();
    // The first process in the queue, 0 when none.
    qint64 first() const { return m_first; }
    // Gives the place up, so that the next job is served; the port must be closed before.
    void leave();
    // Watches the port's lock file while it is there (a watch ends when the file goes). False
    // when there is none to watch: the holder does not lock the port, or has just let it go.
    bool watchLock();

signals:
    // The queue or the port's lock file changed: time to look again.
    void changed();

private:
    // Runs `change` on the live entries under the lock and writes them back when it changed them.
    bool update(const std::function<void(QList<qint64>&)>& change);

    QString m_path;
    QString m_lock;
    QString m_device; // the device whose group may queue, empty for a server
    int m_fd = -1;
    bool m_joined = false;
    qint64 m_first = 0;
    QFileSystemWatcher m_watcher;
};

} // namespace vesk::ctl
