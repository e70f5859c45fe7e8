// The event-pumping wait used by every send sequence, and the program-wide shutdown flag that lets
// nested handlers unwind promptly when the window is closed.
#pragma once

class QObject;

namespace vesk {

namespace Module1 {

// Waits more than `ms` milliseconds (measured on a monotonic clock) while processing window and
// serial-port events, so that replies, timer ticks and clicks run nested inside the caller. Always
// processes pending events at least once. The CPU idles between events.
//
// Returns false when the wait was cut short because the program is shutting down or because `guard`
// (if given) was destroyed meanwhile; the caller must then stop what it is doing and return.
[[nodiscard]] bool Delay(int ms, const QObject* guard = nullptr);

} // namespace Module1

// Marks the program as shutting down and leaves every running event loop, nested ones included.
void requestShutdown(int exitCode = 0);
bool shuttingDown();
// Test support: forget an earlier shutdown request.
void resetShutdown();

} // namespace vesk
