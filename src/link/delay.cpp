#include "delay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace vesk {

namespace {
bool g_shuttingDown = false;
}

bool shuttingDown() {
    return g_shuttingDown;
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

void requestShutdown(int exitCode) {
    g_shuttingDown = true;
    // Leaves the main loop and every nested loop (waits, message boxes) of this thread.
    QCoreApplication::exit(exitCode);
}

namespace Module1 {

bool Delay(int ms, const QObject* guard) {
    const QPointer<const QObject> alive(guard);
    const auto cutShort = [&] { return g_shuttingDown || (guard && !alive); };

    QElapsedTimer clock;
    clock.start();

    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);

    for (;;) {
        if (cutShort())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (cutShort())
            return false;
        const qint64 elapsed = clock.elapsed();
        if (elapsed > ms)
            return true;
        // Sleep in the event loop until the rest of the wait is over; events arriving meanwhile are
        // dispatched from inside exec().
        wake.start(int(ms - elapsed) + 1);
        loop.exec();
    }
}

} // namespace Module1
} // namespace vesk
