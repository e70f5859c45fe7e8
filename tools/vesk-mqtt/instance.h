// One owner per broker connection and per port: the client id the daemon connects with (on its
// broker) and every port it opens are claimed by a lock file before anything is opened, so that a
// second vesk-mqtt with the same configuration stops at once instead of taking the broker
// connection from the first one (which would then flap its availability).
#pragma once

#include "config.h"

#include <QLockFile>
#include <QString>

#include <memory>
#include <vector>

namespace vesk::mqtt {

class InstanceLock {
public:
    // Claims the client id and every port of `config`. False with `reason` set when another process
    // holds one (`*otherPid` is then its process id, or -1 when the lock file does not name it yet)
    // or when a lock file cannot be made (`*otherPid` 0).
    bool acquire(const Config& config, QString* reason, qint64* otherPid);

    // The folder of the lock files: /run/lock when writable, else the runtime or temp folder.
    static QString folder();

private:
    bool claim(const QString& what, const QString& key, QString* reason, qint64* otherPid);

    std::vector<std::unique_ptr<QLockFile>> m_locks;
};

} // namespace vesk::mqtt
