#include "link.h"

#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <unistd.h>

#include "core/serialport.h"

namespace vesk::ctl {

namespace {

// Who holds the lock file the serial port library keeps for `systemPath`, as "program (pid N)",
// or an empty text when no such lock is found.
QString lockOwner(const QString& systemPath) {
    QString name = systemPath.startsWith(QLatin1String("/dev/")) ? systemPath.mid(5) : systemPath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList dirs{QStringLiteral("/var/lock"),
                           QStringLiteral("/etc/locks"),
                           QStringLiteral("/var/spool/locks"),
                           QStringLiteral("/var/spool/uucp"),
                           QStringLiteral("/tmp"),
                           QStringLiteral("/var/tmp"),
                           QStringLiteral("/var/lock/lockdev"),
                           QStringLiteral("/run/lock"),
                           QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    for (const QString& dir : dirs) {
        const QString path = dir + QLatin1String("/LCK..") + name;
        if (!QFileInfo::exists(path))
            continue;
        QLockFile lock(path);
        qint64 pid = 0;
        QString host;
        QString app;
        if (lock.getLockInfo(&pid, &host, &app))
            return app.isEmpty() ? QStringLiteral("pid %1").arg(pid)
                                 : QStringLiteral("%1 (pid %2)").arg(app).arg(pid);
    }
    return {};
}

} // namespace

Link::Link(QObject* parent)
    : QObject(parent),
      m_batch(SerialPortControl::QuietGapMs, SerialPortControl::ReceiveBufferSize) {
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(SerialPortControl::QuietGapMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (!m_batch.isEmpty())
            emit batch(m_batch.takeAll());
        if (m_port.bytesAvailable() > 0)
            pull();
    });
    m_clock.start();
    connect(&m_port, &QSerialPort::readyRead, this, &Link::pull);
    connect(&m_port, &QSerialPort::bytesWritten, this, [this] {
        if (m_port.bytesToWrite() == 0)
            emit drained();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::ReadError && e != QSerialPort::WriteError &&
            e != QSerialPort::ResourceError)
            return;
        if (m_failed || !m_port.isOpen())
            return;
        m_failed = true;
        const QString text = m_port.errorString();
        m_quiet.stop();
        m_port.close();
        emit failed(text);
    });
}

Link::~Link() {
    m_quiet.stop();
    if (m_port.isOpen())
        m_port.close();
}

OpenResult Link::open(const QString& path, QString* reason) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *reason = QStringLiteral("%1: missing (no such device)").arg(path);
        return OpenResult::Missing;
    }
    // Lock by the device's real name, so that a link and the device it points to are one port.
    const QString device = info.canonicalFilePath();
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        *reason =
            QStringLiteral("%1: no permission (add yourself to the 'dialout' group)").arg(path);
        return OpenResult::Permission;
    }
    m_port.setPortName(device);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(SerialPortControl::ReceiveBufferSize);
    if (m_port.open(QIODevice::ReadWrite)) {
        m_port.clear(QSerialPort::AllDirections);
        return OpenResult::Opened;
    }
    const QSerialPort::SerialPortError error = m_port.error();
    const QString text = m_port.errorString();
    m_port.clearError();
    if (error == QSerialPort::DeviceNotFoundError) {
        *reason = QStringLiteral("%1: missing (%2)").arg(path, text);
        return OpenResult::Missing;
    }
    if (error == QSerialPort::PermissionError) {
        // Access was checked above: what refuses now is a lock or an exclusive open.
        const QString owner = lockOwner(device);
        *reason = owner.isEmpty() ? QStringLiteral("%1: busy (in use by another program)").arg(path)
                                  : QStringLiteral("%1: busy (held by %2)").arg(path, owner);
        return OpenResult::Busy;
    }
    *reason = QStringLiteral("%1: cannot open (%2)").arg(path, text);
    return OpenResult::Failed;
}

void Link::discard() {
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
    m_batch.takeAll();
    m_quiet.stop();
}

bool Link::write(const QByteArray& frame) {
    if (!m_port.isOpen() || m_failed)
        return false;
    if (m_port.write(frame) != frame.size())
        return false;
    // Push the bytes towards the line now rather than at the next event-loop pass.
    m_port.flush();
    return m_port.isOpen() && !m_failed;
}

qint64 Link::bytesToWrite() const {
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

void Link::pull() {
    if (!m_port.isOpen())
        return;
    m_batch.receive(m_clock.elapsed(), m_port.read(m_batch.room()));
    m_quiet.start();
}

} // namespace vesk::ctl
