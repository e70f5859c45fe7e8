#include "serialendpoint.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vesk::sim {

namespace {

QString systemError(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// Raw 9600 8N1 without flow control. VMIN 1: a non-blocking read without data fails with EAGAIN
// instead of returning 0, so 0 keeps meaning end of file (hang-up).
bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

SerialEndpoint::SerialEndpoint(QObject* parent) : QObject(parent) {}

SerialEndpoint::~SerialEndpoint() {
    closeLine();
    removeLink();
}

bool SerialEndpoint::openPty(QString* error) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        *error = systemError(QStringLiteral("openpty"));
        return false;
    }
    m_fd = master;
    m_keepAliveFd = slave;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    const char* name = ttyname(slave);
    if (!name || !makeRaw(slave) || !setNonBlocking(master)) {
        *error = systemError(QStringLiteral("pseudo-terminal setup"));
        closeLine();
        return false;
    }
    m_path = QString::fromLocal8Bit(name);
    watch();
    return true;
}

bool SerialEndpoint::openDevice(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        *error = systemError(QStringLiteral("open %1").arg(path));
        return false;
    }
    if (isatty(m_fd) && !makeRaw(m_fd)) {
        *error = systemError(QStringLiteral("configure %1").arg(path));
        closeLine();
        return false;
    }
    if (isatty(m_fd))
        tcflush(m_fd, TCIOFLUSH);
    m_path = path;
    watch();
    return true;
}

void SerialEndpoint::watch() {
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SerialEndpoint::readAvailable);
}

bool SerialEndpoint::createLink(const QString& linkPath, QString* error) {
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        if (!QFile::remove(linkPath)) {
            *error = QStringLiteral("cannot replace the old link %1").arg(linkPath);
            return false;
        }
    } else if (existing.exists()) {
        *error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(m_path).constData(), QFile::encodeName(linkPath).constData()) !=
        0) {
        *error = systemError(QStringLiteral("symlink %1").arg(linkPath));
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

qint64 SerialEndpoint::write(QByteArrayView bytes) {
    if (m_fd < 0)
        return -1;
    const ssize_t written = ::write(m_fd, bytes.data(), static_cast<size_t>(bytes.size()));
    if (written >= 0)
        return written;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

void SerialEndpoint::hangup() {
    closeLine();
}

void SerialEndpoint::readAvailable() {
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, n));
            if (m_fd < 0)
                return; // a handler closed the line
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        // End of file or a hard error: without closing, the notifier would fire forever.
        const QString reason =
            n == 0 ? QStringLiteral("end of file") : systemError(QStringLiteral("read"));
        closeLine();
        emit lost(reason);
        return;
    }
}

void SerialEndpoint::closeLine() {
    if (m_notifier) {
        // May run inside the notifier's own signal, so it must not be deleted at once.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_keepAliveFd >= 0)
        ::close(m_keepAliveFd);
    m_fd = -1;
    m_keepAliveFd = -1;
}

void SerialEndpoint::removeLink() {
    if (m_linkPath.isEmpty())
        return;
    // Only our own link: another simulator may have replaced it meanwhile.
    const QFileInfo link(m_linkPath);
    if (link.isSymLink() && link.symLinkTarget() == QFileInfo(m_path).absoluteFilePath())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

} // namespace vesk::sim
