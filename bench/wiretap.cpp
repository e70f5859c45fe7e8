#include "wiretap.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace vesk::bench {

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {

void makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd, TCSANOW, &tio);
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

WireTap::~WireTap() {
    stop();
}

bool WireTap::start(const QString& devicePath, QString* error) {
    char name[256] = {};
    if (openpty(&m_consoleMaster, &m_consoleSlave, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    makeRaw(m_consoleSlave);
    m_consolePath = QString::fromLocal8Bit(name);
    m_device = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_device < 0) {
        *error =
            QStringLiteral("%1: %2").arg(devicePath, QString::fromLocal8Bit(std::strerror(errno)));
        stop();
        return false;
    }
    makeRaw(m_device);
    fcntl(m_consoleMaster, F_SETFL, fcntl(m_consoleMaster, F_GETFL) | O_NONBLOCK);
    if (pipe(m_wake) != 0) {
        *error = QStringLiteral("pipe failed");
        stop();
        return false;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    // Where the system allows it, the tap runs ahead of ordinary work, so that the times it notes
    // are those of the bytes and not of a busy machine's scheduling. Without it, it runs as is.
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(m_thread.native_handle(), SCHED_FIFO, &param);
    return true;
}

void WireTap::stop() {
    if (m_running.exchange(false)) {
        const char wake = 0;
        [[maybe_unused]] const auto n = ::write(m_wake[1], &wake, 1);
        m_thread.join();
    }
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
    closeFd(m_device);
    closeFd(m_consoleMaster);
    closeFd(m_consoleSlave);
}

void WireTap::run() {
    while (m_running) {
        pollfd fds[3] = {
            {m_consoleMaster, POLLIN, 0}, {m_device, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[2].revents)
            break;
        // Both directions are passed on as soon as they arrive; a closed end (POLLHUP without
        // data) is waited out rather than spun on.
        bool moved = false;
        if (fds[0].revents & POLLIN)
            moved |= pass(m_consoleMaster, m_device, m_fromConsole);
        if (fds[1].revents & POLLIN)
            moved |= pass(m_device, m_consoleMaster, m_fromDevice);
        if (!moved && ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR)))
            ::poll(fds + 2, 1, 10);
    }
}

bool WireTap::pass(int from, int to, Record& record) {
    char buffer[512];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    const std::int64_t at = monotonicNs();
    for (ssize_t written = 0; written < n;) {
        const ssize_t w = ::write(to, buffer + written, std::size_t(n - written));
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            break; // the other end is gone: the bytes are lost, as on an unplugged line
        if (w > 0)
            written += w;
    }
    if (!m_recording)
        return true;
    const std::lock_guard lock(m_mutex);
    record.bytes.append(buffer, n);
    record.arrivalNs.insert(record.arrivalNs.end(), std::size_t(n), at);
    return true;
}

WireTap::Record WireTap::fromConsole() const {
    const std::lock_guard lock(m_mutex);
    return m_fromConsole;
}

WireTap::Record WireTap::fromDevice() const {
    const std::lock_guard lock(m_mutex);
    return m_fromDevice;
}

void WireTap::clear() {
    const std::lock_guard lock(m_mutex);
    m_fromConsole = {};
    m_fromDevice = {};
}

} // namespace vesk::bench
