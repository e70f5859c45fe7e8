#include "instance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace vesk::mqtt {

QString InstanceLock::folder() {
    const QFileInfo runLock(QStringLiteral("/run/lock"));
    if (runLock.isDir() && runLock.isWritable())
        return runLock.filePath();
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

bool InstanceLock::acquire(const Config& config, QString* reason, qint64* otherPid) {
    const BrokerConfig& b = config.broker;
    // Without a broker there is no connection to take from another daemon: the ports alone.
    if (config.hasBroker &&
        !claim(QStringLiteral("client id '%1' on broker %2:%3")
                   .arg(b.clientId, b.host)
                   .arg(b.effectivePort()),
               QStringLiteral("client-%1:%2-%3").arg(b.host).arg(b.effectivePort()).arg(b.clientId),
               reason, otherPid))
        return false;
    QStringList ports;
    for (const ControllerConfig& c : config.controllers) {
        // A device is locked by its real path only while it is open (the serial lock file); the
        // path it resolved to at start-up may belong to another device later.
        const QString key = c.location.text();
        if (ports.contains(key))
            continue;
        ports.append(key);
        if (!claim(QStringLiteral("port %1").arg(c.port), QStringLiteral("port-%1").arg(key),
                   reason, otherPid))
            return false;
    }
    return true;
}

bool InstanceLock::claim(const QString& what, const QString& key, QString* reason,
                         qint64* otherPid) {
    // Percent-encoded, so that every key is one file name and different keys never share one.
    const QString path = QDir(folder()).filePath(
        QStringLiteral("vesk-mqtt-%1.lock").arg(QString::fromLatin1(QUrl::toPercentEncoding(key))));
    auto lock = std::make_unique<QLockFile>(path);
    // Held for the daemon's whole life: only a lock whose process has ended is stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_locks.push_back(std::move(lock));
        return true;
    }
    *otherPid = 0;
    if (lock->error() == QLockFile::LockFailedError) {
        QString host, application;
        // A lock file just made may not name its process yet.
        if (!lock->getLockInfo(otherPid, &host, &application) || *otherPid <= 0)
            *otherPid = -1;
        const QString who =
            *otherPid > 0 ? QStringLiteral(" (process %1)").arg(*otherPid) : QString();
        *reason = QStringLiteral("another vesk-mqtt%1 already serves %2; this one exits and "
                                 "leaves it alone (lock file %3)")
                      .arg(who, what, path);
    } else {
        *reason = QStringLiteral("cannot create the lock file %1 for %2").arg(path, what);
    }
    return false;
}

} // namespace vesk::mqtt
