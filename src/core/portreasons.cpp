#include "portreasons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vesk {

namespace {
// English texts; the consoles install a translation for them, the command-line tools none.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PortReasons)
};
} // namespace

QString serialLockFilePath(const QString& devicePath) {
    // The folders and the choice rule QSerialPort (Unix) uses, so both name the same file.
    static const QStringList folders{
        QStringLiteral("/var/lock"),
        QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"),
        QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));
    for (const QString& folder : folders) {
        const QFileInfo info(folder);
        if (info.isReadable() && (QFile::exists(folder + name) || info.isWritable()))
            return folder + name;
    }
    return {};
}

QString portLockPath(const PortLocation& location, bool* shared) {
    if (location.kind == PortLocation::Kind::Device) {
        if (const QString lock = SerialPortControl::lockFilePathFor(location.path);
            !lock.isEmpty()) {
            if (shared)
                *shared = true;
            return lock;
        }
    }
    if (shared)
        *shared = false;
    QString name = location.text();
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-')
            c = u'_';
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("LCK..") + name);
}

bool processAlive(qint64 pid) {
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
#else
    return pid > 0;
#endif
}

QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (pid <= 0 || !comm.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

// The lock file's first line is the owner's process id (Qt and the uucp convention agree); Qt
// writes the program's name on the second.
LockHolder lockHolder(const QString& lockPath) {
    LockHolder owner;
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return owner;
    const QList<QByteArray> lines = file.read(256).split('\n');
    owner.pid = lines.value(0).trimmed().toLongLong();
    if (owner.pid <= 0)
        return owner;
    owner.running = processAlive(owner.pid);
    if (owner.running)
        if (const QString name = processName(owner.pid); name != QLatin1String("?"))
            owner.name = name;
    if (owner.name.isEmpty())
        owner.name = QString::fromLocal8Bit(lines.value(1).trimmed());
    return owner;
}

namespace {

PortError reason(PortError::Reason r, const QString& text, qint64 pid = 0) {
    return PortError{r, text, pid};
}

} // namespace

std::optional<PortError> heldUnderName(const QString& given, const QString& name) {
    const QString lockPath = serialLockFilePath(name);
    if (lockPath.isEmpty() || !QFile::exists(lockPath))
        return std::nullopt;
    const LockHolder owner = lockHolder(lockPath);
    if (!owner.running)
        return std::nullopt;
    return reason(PortError::Reason::Busy,
                  Texts::tr("%1: busy, in use by process %2 (%3); lock file %4")
                      .arg(given)
                      .arg(owner.pid)
                      .arg(owner.name, lockPath),
                  owner.pid);
}

PortError missingDevice(const QString& given) {
    const QFileInfo info(given);
    if (info.isSymLink())
        return reason(PortError::Reason::Missing,
                      Texts::tr("%1: no such device (the link points to %2, which is not there)")
                          .arg(given, info.symLinkTarget()));
    return reason(PortError::Reason::Missing, Texts::tr("%1: no such device").arg(given));
}

PortError diagnoseSerialFailure(const QString& given, const QString& canonical,
                                QSerialPort::SerialPortError error) {
    const QString lockPath = serialLockFilePath(canonical);
    if (!lockPath.isEmpty() && QFile::exists(lockPath)) {
        const LockHolder owner = lockHolder(lockPath);
        const QString who = owner.name.isEmpty()
                                ? Texts::tr("process %1").arg(owner.pid)
                                : Texts::tr("process %1 (%2)").arg(owner.pid).arg(owner.name);
        if (owner.running)
            return reason(
                PortError::Reason::Busy,
                Texts::tr("%1: busy, in use by %2; lock file %3").arg(given, who, lockPath),
                owner.pid);
        // Qt removes the lock of a process that has ended; this one it could not remove.
        return reason(PortError::Reason::StaleLock,
                      Texts::tr("%1: locked by a stale lock file %2 (owner %3, %4 has ended) "
                                "that cannot be removed; remove it as that user or root")
                          .arg(given, lockPath, QFileInfo(lockPath).owner(), who),
                      owner.pid);
    }
    if (error == QSerialPort::DeviceNotFoundError || !QFile::exists(canonical))
        return missingDevice(given);
    if (const QString what = notSerialReason(canonical); !what.isEmpty())
        return reason(PortError::Reason::Other, Texts::tr("%1: %2").arg(given, what));
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(canonical).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        // The group that may use the device: dialout on Debian, uucp on some other systems.
        QString group = QFileInfo(canonical).group();
        if (group.isEmpty() || group == QLatin1String("root"))
            group = QStringLiteral("dialout");
        return reason(PortError::Reason::Permission,
                      Texts::tr("%1: no permission to open the device; add your user to the "
                                "%2 group (sudo usermod -aG %2 $USER) and log in again")
                          .arg(given, group));
    }
    if (error == QSerialPort::PermissionError && lockPath.isEmpty())
        return reason(PortError::Reason::Permission,
                      Texts::tr("%1: no folder for its lock file can be written").arg(given));
#endif
    // The system's own words (QSerialPort::errorString()) are left out: they are English whatever
    // the window's language, and name a call rather than what the operator can do.
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return reason(PortError::Reason::Busy,
                      Texts::tr("%1: busy, opened by another program").arg(given));
    if (error == QSerialPort::UnsupportedOperationError) // a character device, but no terminal
        return reason(PortError::Reason::Other, Texts::tr("%1: not a serial device").arg(given));
    return reason(PortError::Reason::Other,
                  Texts::tr("%1: the system did not open it as a serial port").arg(given));
}

QString notSerialReason(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISCHR(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return Texts::tr("a folder, not a serial device");
    if (S_ISREG(info.st_mode))
        return Texts::tr("a regular file, not a serial device");
    return Texts::tr("not a serial device");
#else
    Q_UNUSED(path)
    return {};
#endif
}

} // namespace vesk
