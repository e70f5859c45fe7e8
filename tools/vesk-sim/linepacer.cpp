#include "linepacer.h"

#include <algorithm>

namespace vesk::sim {

LinePacer::LinePacer(Sink sink, int baud, QObject* parent)
    : QObject(parent), m_sink(std::move(sink)), m_baud(std::max(baud, 1)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    connect(&m_timer, &QTimer::timeout, this, &LinePacer::tick);
    m_clock.start();
}

void LinePacer::enqueue(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    const bool wasIdle = m_queue.isEmpty();
    m_queue.append(bytes);
    if (!wasIdle)
        return;
    // A new run starts now, unless the last byte of the previous run is still on the line.
    const qint64 now = m_clock.nsecsElapsed();
    if (now >= byteTimeNs(m_sentInRun)) {
        m_anchorNs = now;
        m_sentInRun = 0;
    }
    m_timer.start();
    tick();
}

void LinePacer::clear() {
    const bool hadBytes = !m_queue.isEmpty();
    m_queue.clear();
    m_timer.stop();
    if (hadBytes)
        emit drained();
}

void LinePacer::tick() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 dueTotal = (now - m_anchorNs) * m_baud / 10'000'000'000 + 1;
    const qint64 due = std::min<qint64>(dueTotal - m_sentInRun, m_queue.size());
    if (due > 0) {
        const qint64 written = m_sink(QByteArrayView(m_queue).first(due));
        if (written < 0) {
            clear();
            return;
        }
        m_queue.remove(0, written);
        m_sentInRun += written;
        if (written < due) {
            // The line is full: go on at line pace once it takes bytes again, without a burst.
            m_anchorNs = now;
            m_sentInRun = 0;
        }
    }
    if (m_queue.isEmpty() && m_timer.isActive()) {
        m_timer.stop();
        emit drained();
    }
}

} // namespace vesk::sim
