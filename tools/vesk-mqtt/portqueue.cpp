#include "portqueue.h"

#include "log.h"

#include "core/frames.h"
#include "core/reply.h"

#include <algorithm>

namespace vesk::mqtt {

namespace {

// Time for `bytes` to leave at 9600 bit/s (ten bits a byte), rounded up, plus a millisecond.
int wireMs(qsizetype bytes) {
    return int((bytes * 10 * 1000 + 9599) / 9600) + 1;
}

} // namespace

PortQueue::PortQueue(const QString& location, QObject* parent) : QObject(parent), m_line(location) {
    m_gap.setSingleShot(true);
    m_gap.setTimerType(Qt::PreciseTimer);
    connect(&m_gap, &QTimer::timeout, this, [this] {
        if (m_awaiting) {
            logDetail(QStringLiteral("%1: no reply from address %2")
                          .arg(this->location())
                          .arg(m_awaiting->address));
            finishReply(std::nullopt);
        } else {
            pump();
        }
    });
    connect(&m_line, &PortLine::opened, this, [this] {
        m_lastReason.clear();
        logLine(QStringLiteral("port %1: open").arg(this->location()));
        emit opened();
    });
    connect(&m_line, &PortLine::openFailed, this, [this](const QString& reason) {
        // The same reason once, not once a second.
        if (reason != m_lastReason)
            logLine(
                QStringLiteral("port %1: cannot open: %2; retrying").arg(this->location(), reason));
        m_lastReason = reason;
    });
    connect(&m_line, &PortLine::batch, this, &PortQueue::onBatch);
    connect(&m_line, &PortLine::lost, this, &PortQueue::onLost);
}

void PortQueue::start() {
    m_line.open();
}

bool PortQueue::submit(const QByteArray& frame, const void* owner) {
    if (!m_line.isOpen())
        return false;
    // Commands go ahead of waiting status queries (in their own arrival order), so a command
    // waits at most for the reply already due; a query that confirms it still follows it.
    const auto firstQuery = std::find_if(m_jobs.begin(), m_jobs.end(),
                                         [](const Job& job) { return bool(job.handler); });
    m_jobs.insert(firstQuery, {frame, owner, 0, {}});
    pump();
    return true;
}

bool PortQueue::submitQuery(const QByteArray& frame, quint8 address, const void* owner,
                            ReplyHandler handler) {
    if (!m_line.isOpen())
        return false;
    m_jobs.push_back({frame, owner, address, std::move(handler)});
    pump();
    return true;
}

bool PortQueue::hasQueuedQuery(const void* owner) const {
    for (const Job& job : m_jobs)
        if (job.owner == owner && job.handler)
            return true;
    return false;
}

bool PortQueue::hasOpenQuery(const void* owner) const {
    return (m_awaiting && m_awaiting->owner == owner) || hasQueuedQuery(owner);
}

void PortQueue::pump() {
    if (m_gap.isActive() || m_awaiting || m_jobs.empty() || !m_line.isOpen())
        return;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    logDetail(QStringLiteral("%1: TX %2").arg(location(), hexText(job.frame).trimmed()));
    if (!m_line.write(job.frame)) {
        // The line broke under the write; the lost signal follows and closes everything.
        if (job.handler)
            job.handler(std::nullopt);
        return;
    }
    if (job.handler) {
        m_awaiting = std::move(job);
        m_gap.start(ReplyTimeoutMs);
    } else {
        m_gap.start(wireMs(job.frame.size()));
    }
}

void PortQueue::finishReply(std::optional<QByteArray> batch) {
    m_gap.stop();
    std::optional<Job> job = std::exchange(m_awaiting, std::nullopt);
    if (job && job->handler)
        job->handler(std::move(batch));
    pump();
}

void PortQueue::onBatch(const QByteArray& bytes) {
    logDetail(QStringLiteral("%1: RX %2").arg(location(), hexText(bytes).trimmed()));
    // Only a status reply from the address that was asked answers the query; anything else on
    // the line is noise or another device talking.
    if (m_awaiting && lampStates(bytes) && quint8(bytes.at(2)) == m_awaiting->address)
        finishReply(bytes);
}

void PortQueue::onLost() {
    logLine(QStringLiteral("port %1: lost (unplugged or failed); retrying").arg(location()));
    dropAll();
    emit closed();
    m_lastReason.clear();
}

void PortQueue::dropAll() {
    m_gap.stop();
    std::deque<Job> jobs = std::exchange(m_jobs, {});
    std::optional<Job> awaiting = std::exchange(m_awaiting, std::nullopt);
    const auto commands =
        std::count_if(jobs.begin(), jobs.end(), [](const Job& job) { return !job.handler; });
    if (commands > 0)
        logLine(
            QStringLiteral("port %1: %2 queued command(s) not sent").arg(location()).arg(commands));
    if (awaiting && awaiting->handler)
        awaiting->handler(std::nullopt);
    for (Job& job : jobs)
        if (job.handler)
            job.handler(std::nullopt);
}

} // namespace vesk::mqtt
