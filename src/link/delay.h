// The wait used by every operation, and the program-wide shutdown that ends all waits at once.
#pragma once

#include <QPointer>

#include <coroutine>

class QObject;

namespace vesk {

// co_await Module1::Delay(ms, guard): suspends the calling operation for more than `ms`
// milliseconds, measured on a monotonic clock, while the event loop goes on with everything else
// (replies, timer ticks, clicks, other operations). Events are always processed at least once.
// Yields false when the wait ended because the program is shutting down or `guard` (if given) was
// destroyed meanwhile; the operation must then co_return at once.
class DelayAwaiter {
public:
    DelayAwaiter(int ms, const QObject* guard);
    bool await_ready() const noexcept;
    void await_suspend(std::coroutine_handle<> caller);
    bool await_resume() const noexcept;

private:
    int m_ms;
    QPointer<const QObject> m_guard;
    bool m_hasGuard;
};

namespace Module1 {
[[nodiscard]] inline DelayAwaiter Delay(int ms, const QObject* guard = nullptr) {
    return DelayAwaiter(ms, guard);
}
// Operations currently waiting.
int pendingDelays();
} // namespace Module1

// Marks the program as shutting down, ends every wait (each yields false, so every operation
// unwinds now rather than later) and leaves every running event loop, message boxes included.
void requestShutdown(int exitCode = 0);
bool shuttingDown();
// Test support: forget an earlier shutdown request.
void resetShutdown();

} // namespace vesk
