#include "pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    m_clock.start();
    int slave = -1;
    char name[256] = {};
    if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    // The slave stays open on our side too, so that the console's closing and reopening of the
    // port never makes the master see a hang-up.
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = slave;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A console started as a child process must not inherit our ends: a master kept open there
    // would make hangUp() unplug nothing.
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPair::readMaster);
}

void PtyPair::hangUp() {
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

PtyPair::~PtyPair() {
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyPair::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const qint64 at = now();
        m_stream.append(buffer, n);
        for (ssize_t i = 0; i < n; ++i)
            m_arrival.append(at);
        emit bytesArrived();
    }
}

QList<Received> PtyPair::frames() const {
    QList<Received> out;
    qsizetype pos = 0;
    while (pos + 5 <= m_stream.size()) {
        const int length = 6 + quint8(m_stream.at(pos + 4));
        if (pos + length > m_stream.size())
            break;
        out.append({m_stream.mid(pos, length), m_arrival.at(pos)});
        pos += length;
    }
    return out;
}

void PtyPair::clear() {
    m_stream.clear();
    m_arrival.clear();
}

bool PtyPair::waitForFrames(int count, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (frames().size() < count && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    return frames().size() >= count;
}

void PtyPair::writeNow(const QByteArray& bytes) {
    if (m_master >= 0) [[maybe_unused]]
        auto n = ::write(m_master, bytes.constData(), bytes.size());
}

void PtyPair::writeAtLineSpeed(const QByteArray& bytes) {
    // 10 bits per byte at 9600 bit/s: one byte every 1.042 ms, paced on the clock.
    QElapsedTimer line;
    line.start();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        while (line.nsecsElapsed() < qint64(i) * 1041667)
            QTest::qWait(0);
        writeNow(bytes.mid(i, 1));
    }
}

bool PtyPair::writeAll(const QByteArray& bytes, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        pollfd wait{m_master, POLLOUT, 0};
        ::poll(&wait, 1, 50);
    }
    return done == bytes.size();
}

qsizetype PtyPair::unreadByConsole() const {
    int waiting = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &waiting) != 0)
        return -1;
    return waiting;
}
