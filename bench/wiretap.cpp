#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "bench/bench.h"

namespace vesk::bench {

bool WireTap::start(const QString& devicePath, QString* error) {
    char name[256] = {};
    m_fds[FromDevice] = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY);
    if (m_fds[FromDevice] < 0 ||
        openpty(&m_fds[FromConsole], &m_consoleSlave, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("%1: %2").arg(devicePath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    for (int fd : {m_fds[FromDevice], m_consoleSlave}) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    consolePath = QString::fromLocal8Bit(name);
    m_running = true;
    m_thread = std::thread([this] { run(); });
    // Where the system allows it the tap runs ahead of ordinary work, so that the times it notes
    // are those of the bytes and not of a busy machine's scheduling; otherwise it runs as is.
    const sched_param param{10};
    pthread_setschedparam(m_thread.native_handle(), SCHED_FIFO, &param);
    return true;
}

WireTap::~WireTap() {
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_fds[0], m_fds[1], m_consoleSlave})
        if (fd >= 0)
            ::close(fd);
}

void WireTap::run() {
    while (m_running) {
        // A tenth of a second at most between looks at m_running, for a quick stop.
        pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0)
            continue;
        for (int from : {FromConsole, FromDevice}) {
            char buffer[512];
            const ssize_t n = fds[from].revents ? ::read(m_fds[from], buffer, sizeof buffer) : 0;
            if (n <= 0) {
                if (fds[from].revents) // a closed end: waited out rather than spun on
                    ::poll(nullptr, 0, 10);
                continue;
            }
            const std::int64_t at = monotonicNs();
            // Passed on at once; with the other end gone they are lost, as on an unplugged line.
            for (ssize_t written = 0, w = 0; written < n && w >= 0; written += w)
                w = ::write(m_fds[1 - from], buffer + written, std::size_t(n - written));
            if (recording) {
                const std::lock_guard lock(m_mutex);
                m_records[from].bytes.append(buffer, n);
                m_records[from].arrivalNs.resize(std::size_t(m_records[from].bytes.size()), at);
            }
        }
    }
}

LineRecord WireTap::record(Direction direction) const {
    const std::lock_guard lock(m_mutex);
    return m_records[direction];
}

void WireTap::clear() {
    const std::lock_guard lock(m_mutex);
    m_records[FromConsole] = m_records[FromDevice] = {};
}

} // namespace vesk::bench
