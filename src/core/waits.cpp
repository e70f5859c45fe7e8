#include "waits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace vesk {

namespace detail {

// One suspended operation, resumed by a precise timer once more than its time has passed.
struct PendingDelay {
    std::coroutine_handle<> caller;
    int ms = 0;
    QElapsedTimer clock;
    bool done = false;
};

struct WaitState {
    bool closing = false;
    std::vector<std::shared_ptr<PendingDelay>> pending;
};

} // namespace detail

namespace {

using detail::PendingDelay;
using detail::WaitState;

void arm(std::weak_ptr<WaitState> state, std::shared_ptr<PendingDelay> delay, int interval);

void fire(const std::weak_ptr<WaitState>& weak, const std::shared_ptr<PendingDelay>& delay) {
    const std::shared_ptr<WaitState> state = weak.lock();
    if (!state || delay->done)
        return;
    const qint64 elapsed = delay->clock.elapsed();
    if (elapsed <= delay->ms) {
        // Timers may fire a little early; the wait always lasts more than its time.
        arm(weak, delay, int(delay->ms - elapsed) + 1);
        return;
    }
    delay->done = true;
    std::erase(state->pending, delay);
    delay->caller.resume();
}

void arm(std::weak_ptr<WaitState> state, std::shared_ptr<PendingDelay> delay, int interval) {
    QTimer::singleShot(interval, Qt::PreciseTimer, QCoreApplication::instance(),
                       [state, delay] { fire(state, delay); });
}

} // namespace

DelayAwaiter::DelayAwaiter(Waits& waits, int ms, const QObject* guard)
    : m_waits(waits), m_ms(ms), m_guard(guard), m_hasGuard(guard != nullptr) {}

bool DelayAwaiter::await_ready() const noexcept {
    return m_waits.closing();
}

void DelayAwaiter::await_suspend(std::coroutine_handle<> caller) {
    auto delay = std::make_shared<PendingDelay>();
    delay->caller = caller;
    delay->ms = m_ms;
    delay->clock.start();
    m_waits.m_state->pending.push_back(delay);
    arm(m_waits.m_state, delay, std::max(m_ms, -1) + 1);
}

bool DelayAwaiter::await_resume() const noexcept {
    return !m_waits.closing() && (!m_hasGuard || m_guard);
}

Waits::Waits() : m_state(std::make_shared<WaitState>()) {}

int Waits::pending() const {
    return int(m_state->pending.size());
}

bool Waits::closing() const {
    return m_state->closing;
}

Waits::~Waits() {
    m_state->closing = true;
    endAll();
}

void Waits::endAll() {
    while (!m_state->pending.empty()) {
        const std::shared_ptr<PendingDelay> delay = m_state->pending.back();
        m_state->pending.pop_back();
        delay->done = true;
        delay->caller.resume();
    }
}

void Waits::close(int exitCode) {
    if (!m_state->closing) {
        m_state->closing = true;
        endAll();
    }
    // Leaves the main loop and every nested loop (message boxes) of this thread.
    QCoreApplication::exit(exitCode);
}

} // namespace vesk
