// The queue of one serial line, shared by every controller on it (an RS-485 bus carries several
// addresses). The line is half-duplex: one frame is written at a time, the next only after the
// previous one has had time to leave, and none while a status reply is due (until the reply
// arrives or its timeout passes). Commands go out in the order they were submitted, ahead of
// status queries that are still waiting.
//
// The queue also owns the line: it opens the port and reports it open or closed; the line tries
// again by itself after a failure or an unplug.
#pragma once

#include "portline.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

namespace vesk::mqtt {

class PortQueue : public QObject {
    Q_OBJECT
public:
    // Longest wait for a status reply after the query was written.
    static constexpr int ReplyTimeoutMs = 250;

    // Called with the reply batch, or nullopt when none came in time (or the line closed).
    using ReplyHandler = std::function<void(std::optional<QByteArray>)>;

    explicit PortQueue(const QString& location, QObject* parent = nullptr);

    QString location() const { return m_line.location(); }
    bool isOpen() const { return m_line.isOpen(); }
    // First attempt to open the line; later attempts follow by themselves.
    void start();

    // Queues a frame that needs no reply. False (nothing queued) while the line is closed.
    bool submit(const QByteArray& frame, const void* owner);
    // Queues a status query for `address`; `handler` gets the reply.
    bool submitQuery(const QByteArray& frame, quint8 address, const void* owner,
                     ReplyHandler handler);
    // Whether a query of `owner` is waiting to be written.
    bool hasQueuedQuery(const void* owner) const;
    // Whether a query of `owner` has been written and its reply is due.
    bool isAwaitingReply(const void* owner) const {
        return m_awaiting && m_awaiting->owner == owner;
    }
    // Whether a query of `owner` is waiting or written and not answered yet.
    bool hasOpenQuery(const void* owner) const;

signals:
    void opened();
    void closed();

private:
    struct Job {
        QByteArray frame;
        const void* owner = nullptr;
        quint8 address = 0;
        ReplyHandler handler; // empty: no reply expected
    };

    void pump();
    void finishReply(std::optional<QByteArray> batch);
    void onBatch(const QByteArray& bytes);
    void onLost();
    // Ends every waiting job (their queries get no reply) once the line is gone.
    void dropAll();

    PortLine m_line;
    std::deque<Job> m_jobs;
    std::optional<Job> m_awaiting; // the query whose reply is due
    QTimer m_gap;                  // the previous frame is still leaving, or a reply is due
    QString m_lastReason;
};

} // namespace vesk::mqtt
