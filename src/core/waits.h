// The wait used by every operation, and the closing that ends all waits at once. One Waits object
// belongs to the application (or to a test); every area reaches it through what it is handed.
#pragma once

#include <QPointer>

#include <coroutine>
#include <memory>

class QObject;

namespace vesk {

class Waits;
namespace detail {
struct WaitState;
} // namespace detail

// co_await waits.Delay(ms, guard): suspends the calling operation for more than `ms`
// milliseconds, measured on a monotonic clock, while the event loop goes on with everything else
// (replies, timer ticks, clicks, other operations). Events are always processed at least once.
// Yields false when the wait ended because the program is closing or `guard` (if given) was
// destroyed meanwhile; the operation must then co_return at once.
class DelayAwaiter {
public:
    DelayAwaiter(Waits& waits, int ms, const QObject* guard);
    bool await_ready() const noexcept;
    void await_suspend(std::coroutine_handle<> caller);
    bool await_resume() const noexcept;

private:
    Waits& m_waits;
    int m_ms;
    QPointer<const QObject> m_guard;
    bool m_hasGuard;
};

class Waits {
public:
    Waits();
    // Ends every wait still pending (each yields false), so that no operation is left suspended.
    ~Waits();
    Waits(const Waits&) = delete;
    Waits& operator=(const Waits&) = delete;

    [[nodiscard]] DelayAwaiter Delay(int ms, const QObject* guard = nullptr) {
        return DelayAwaiter(*this, ms, guard);
    }
    // Operations currently waiting.
    int pending() const;

    // Marks the program as closing, ends every wait (each yields false, so every operation
    // unwinds now rather than later) and leaves every running event loop of this thread, message
    // boxes included, with `exitCode`.
    void close(int exitCode = 0);
    bool closing() const;

private:
    friend class DelayAwaiter;
    void endAll();

    // Timers still in flight hold the state weakly: a wait that fires after its Waits is gone
    // does nothing.
    std::shared_ptr<detail::WaitState> m_state;
};

} // namespace vesk
