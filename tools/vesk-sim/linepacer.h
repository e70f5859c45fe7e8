// Sends bytes at the pace of the serial line: 9600 bit/s with ten bits per byte is one byte about
// every 1.04 ms. A precise 1 ms timer writes as many bytes as are due by the monotonic clock, so
// the pace holds even when a timer tick comes late.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace vesk::sim {

class LinePacer : public QObject {
    Q_OBJECT

public:
    // Takes bytes for the line and returns how many it wrote: 0 when the line is full, -1 when it
    // is closed (the queue is then dropped).
    using Sink = std::function<qint64(QByteArrayView)>;

    explicit LinePacer(Sink sink, int baud = 9600, QObject* parent = nullptr);

    void enqueue(const QByteArray& bytes);
    void clear();
    qsizetype queued() const { return m_queue.size(); }

signals:
    // The queue has become empty: every byte is on the line (or dropped with a closed line).
    void drained();

private:
    void tick();
    qint64 byteTimeNs(qint64 index) const { return m_anchorNs + index * 10'000'000'000 / m_baud; }

    Sink m_sink;
    int m_baud;
    QByteArray m_queue;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_anchorNs = 0;  // start time of the first byte of the current run
    qint64 m_sentInRun = 0; // bytes written since m_anchorNs
};

} // namespace vesk::sim
