#include "quitsignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vesk {

#ifdef Q_OS_UNIX
namespace {

int g_pipe[2] = {-1, -1};
constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
    // Only async-signal-safe calls here: one byte naming the signal.
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace
#endif

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Handled)
        ::sigaction(number, &action, nullptr);
#endif
}

QuitSignals::~QuitSignals() {
#ifdef Q_OS_UNIX
    for (const int number : Handled)
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#endif
}

void QuitSignals::drain() {
#ifdef Q_OS_UNIX
    char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit received(byte);
#endif
}

} // namespace vesk
