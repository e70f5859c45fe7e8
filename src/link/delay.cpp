#include "delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace vesk {

namespace {

bool g_shuttingDown = false;

// One suspended operation, resumed by a precise timer once more than its time has passed.
struct PendingDelay {
    std::coroutine_handle<> caller;
    int ms = 0;
    QElapsedTimer clock;
    bool done = false;
};

std::vector<std::shared_ptr<PendingDelay>> g_pending;

void arm(const std::shared_ptr<PendingDelay>& delay, int interval);

void fire(const std::shared_ptr<PendingDelay>& delay) {
    if (delay->done)
        return;
    const qint64 elapsed = delay->clock.elapsed();
    if (elapsed <= delay->ms) {
        // Timers may fire a little early; the wait always lasts more than its time.
        arm(delay, int(delay->ms - elapsed) + 1);
        return;
    }
    delay->done = true;
    std::erase(g_pending, delay);
    delay->caller.resume();
}

void arm(const std::shared_ptr<PendingDelay>& delay, int interval) {
    QTimer::singleShot(interval, Qt::PreciseTimer, QCoreApplication::instance(),
                       [delay] { fire(delay); });
}

} // namespace

DelayAwaiter::DelayAwaiter(int ms, const QObject* guard)
    : m_ms(ms), m_guard(guard), m_hasGuard(guard != nullptr) {}

bool DelayAwaiter::await_ready() const noexcept {
    return g_shuttingDown;
}

void DelayAwaiter::await_suspend(std::coroutine_handle<> caller) {
    auto delay = std::make_shared<PendingDelay>();
    delay->caller = caller;
    delay->ms = m_ms;
    delay->clock.start();
    g_pending.push_back(delay);
    arm(delay, std::max(m_ms, -1) + 1);
}

bool DelayAwaiter::await_resume() const noexcept {
    return !g_shuttingDown && (!m_hasGuard || m_guard);
}

int Module1::pendingDelays() {
    return int(g_pending.size());
}

bool shuttingDown() {
    return g_shuttingDown;
}

void requestShutdown(int exitCode) {
    if (!g_shuttingDown) {
        g_shuttingDown = true;
        // Every waiting operation learns now that the program is closing and unwinds.
        while (!g_pending.empty()) {
            const std::shared_ptr<PendingDelay> delay = g_pending.back();
            g_pending.pop_back();
            delay->done = true;
            delay->caller.resume();
        }
    }
    // Leaves the main loop and every nested loop (message boxes) of this thread.
    QCoreApplication::exit(exitCode);
}

void resetShutdown() {
    if (!g_shuttingDown)
        return;
    g_shuttingDown = false;
    // exit() leaves a mark on the thread that makes every later event loop return at once; running
    // one application loop to its end clears it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace vesk
