// Operations as coroutines. Every operation of the console is a sequence of steps with waits in
// between (send, wait 100 ms, write, wait 500 ms, query ...). Written as a coroutine, a wait
// suspends only its own operation and returns to the event loop, so that operations started
// meanwhile (a reply, a timer tick, another click) run side by side and each keeps its own timing,
// instead of an inner wait holding up every outer one.
//
// Rules for coroutines here: take parameters by value (a reference may dangle once the caller has
// returned to the event loop), never write a lambda as a coroutine, and after every co_await of a
// wait that returns false, co_return at once (the program is closing or the owner is gone).
// Never put a co_await directly into the condition of an if or a loop: GCC 12 drops the whole
// coroutine body then. Bind the result first: `if (const bool ok = co_await ...; !ok) co_return;`.
#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace vesk {

template <typename T = void> class Task;

namespace detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    bool detached = false;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept {
            PromiseBase& promise = self.promise();
            if (promise.continuation)
                return promise.continuation;
            if (promise.detached)
                self.destroy();
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }
};

template <typename T> struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    void return_value(T v) { value = std::move(v); }
};

template <> struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
};

} // namespace detail

// A lazily started operation. co_await it from another coroutine, or start it on its own with
// spawn(); it then frees itself when it finishes.
template <typename T> class [[nodiscard]] Task {
public:
    using promise_type = detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit Task(Handle handle) noexcept : m_handle(handle) {}
    Task(Task&& other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    Task& operator=(Task&&) = delete;
    ~Task() {
        if (m_handle)
            m_handle.destroy();
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
        m_handle.promise().continuation = caller;
        return m_handle;
    }
    T await_resume() {
        if constexpr (!std::is_void_v<T>)
            return std::move(*m_handle.promise().value);
    }

    // Runs the task until its first wait, and lets it finish on its own.
    void start() && {
        Handle handle = std::exchange(m_handle, {});
        handle.promise().detached = true;
        handle.resume();
    }

private:
    Handle m_handle;
};

namespace detail {
template <typename T> Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}
inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}
} // namespace detail

// Starts an operation from an event handler (a click, a tick, a notification).
template <typename T> void spawn(Task<T>&& task) {
    std::move(task).start();
}

} // namespace vesk
