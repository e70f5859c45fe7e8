#include "portqueue.h"

#include "log.h"

#include "core/frames.h"
#include "core/reply.h"

#include <algorithm>
#include <utility>

namespace vesk::mqtt {

namespace {

// Time for `bytes` to leave the line, plus a millisecond.
int wireMs(qsizetype bytes) {
    return lineTimeMs(bytes) + 1;
}

// The wait before the next attempt after `missed` unanswered polls in a row: the interval, and
// from the second miss on 2 s, 8 s, 32 s, then a minute.
qint64 retryMs(int missed, int intervalMs) {
    if (missed <= PortQueue::MissesBeforeBackoff)
        return intervalMs;
    const int steps = std::min(missed - PortQueue::MissesBeforeBackoff - 1, 8);
    const qint64 backoff = qint64(PortQueue::BackoffStartMs) << (2 * steps);
    return std::max<qint64>(intervalMs, std::min<qint64>(backoff, PortQueue::BackoffMaxMs));
}

} // namespace

PortQueue::PortQueue(const PortLocation& location, QObject* parent)
    : QObject(parent), m_location(location) {
    m_line.setReopening(true);
    m_clock.start();
    m_busy.setSingleShot(true);
    m_busy.setTimerType(Qt::PreciseTimer);
    connect(&m_busy, &QTimer::timeout, this, [this] {
        if (m_awaiting)
            finishReply(std::nullopt);
        else if (m_client)
            finishClient();
        else
            pump();
    });
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    connect(&m_due, &QTimer::timeout, this, &PortQueue::pump);
    m_summary.setInterval(SummaryMs);
    connect(&m_summary, &QTimer::timeout, this, &PortQueue::summarise);
    connect(&m_line, &Line::opened, this, &PortQueue::onOpened);
    connect(&m_line, &Line::openFailed, this, [this](const PortError& error) {
        const QString& reason = error.text;
        // The same reason once, not once a second; while the port keeps hanging up, the summary
        // line speaks for it.
        if (reason != m_lastReason && !m_hangingUp)
            logLine(QStringLiteral("%1: cannot open: %2; retrying").arg(portName(), reason));
        m_lastReason = reason;
    });
    connect(&m_line, &Line::batch, this, &PortQueue::onBatch);
    connect(&m_line, &Line::replied, this, &PortQueue::onReply);
    connect(&m_line, &Line::lost, this, &PortQueue::onLost);
}

void PortQueue::start() {
    m_line.open(m_location);
}

QString PortQueue::portName() const {
    QStringList names;
    for (const Poller& p : m_pollers)
        names << p.name;
    return QStringLiteral("port %1 (%2)").arg(location(), names.join(QStringLiteral(", ")));
}

void PortQueue::addPoller(const void* owner, const QString& name, quint8 address, int intervalMs,
                          ReplyHandler handler) {
    m_pollers.push_back({owner, name, address, std::max(intervalMs, 1), std::move(handler),
                         m_clock.elapsed(), false, 0});
    pump();
}

void PortQueue::removePoller(const void* owner) {
    if (m_awaiting == owner)
        m_awaiting = nullptr;
    std::erase_if(m_pollers, [owner](const Poller& p) { return p.owner == owner; });
    std::erase_if(m_commands, [owner](const Command& c) { return c.owner == owner; });
}

PortQueue::Poller* PortQueue::poller(const void* owner) {
    const auto it = std::find_if(m_pollers.begin(), m_pollers.end(),
                                 [owner](const Poller& p) { return p.owner == owner; });
    return it == m_pollers.end() ? nullptr : &*it;
}

int PortQueue::missedInRow(const void* owner) const {
    const auto it = std::find_if(m_pollers.begin(), m_pollers.end(),
                                 [owner](const Poller& p) { return p.owner == owner; });
    return it == m_pollers.end() ? 0 : it->missed;
}

void PortQueue::pollSoon(const void* owner) {
    if (Poller* p = poller(owner)) {
        p->soon = true;
        pump();
    }
}

bool PortQueue::submit(const QByteArray& frame, const void* owner, int target, const QString& what,
                       std::function<void()> written) {
    if (!m_line.isOpen())
        return false;
    Command command{frame, owner, target,       what,   std::move(written),
                    0,     false, std::nullopt, nullptr};
    // A waiting command for the same target is out of date: drop it, and queue the new one behind
    // the commands that arrived in between, so that the order of the latest intents is kept.
    const auto old = std::find_if(m_commands.begin(), m_commands.end(), [&](const Command& c) {
        return c.owner == owner && c.target == target;
    });
    if (old != m_commands.end()) {
        command.superseded = old->superseded + 1;
        m_commands.erase(old);
    }
    m_commands.push_back(std::move(command));
    pump();
    return true;
}

bool PortQueue::submitClientFrame(const QByteArray& frame, const void* owner,
                                  std::optional<quint8> replyFrom, ClientHandler handler,
                                  std::function<void()> written) {
    if (!m_line.isOpen())
        return false;
    Command command{frame, owner, -1,        QString(),         std::move(written),
                    0,     true,  replyFrom, std::move(handler)};
    m_commands.push_back(std::move(command));
    pump();
    return true;
}

void PortQueue::forget(const void* owner) {
    std::erase_if(m_commands, [owner](const Command& c) { return c.client && c.owner == owner; });
}

void PortQueue::pollAddressSoon(quint8 address) {
    for (Poller& p : m_pollers)
        p.soon = p.soon || address == BroadcastAddress || p.address == address;
    pump();
}

void PortQueue::finishClient() {
    m_busy.stop();
    // What the line held back for the reply's sixth byte (a reply cut short) is still the
    // client's.
    m_line.stopReply();
    const ClientHandler handler = std::exchange(m_client, nullptr);
    m_clientFrom.reset();
    m_busy.start(TurnaroundMs);
    handler({}, true);
}

void PortQueue::writeCommand(Command command) {
    if (command.superseded > 0)
        logLine(QStringLiteral("%1: written; %2 older command(s) for it superseded")
                    .arg(command.what)
                    .arg(command.superseded));
    if (verbose())
        logDetail(QStringLiteral("%1: TX %2").arg(location(), hexText(command.frame).trimmed()));
    // A status reply from the address asked is handed on at its sixth byte; the answers to a
    // broadcast query wait for the gap.
    const bool addressed = command.replyFrom && *command.replyFrom != BroadcastAddress;
    if (addressed)
        m_line.expectReply(command.replyFrom);
    else
        m_line.stopReply();
    // On failure the line broke under the write; the lost signal follows.
    if (!m_line.write(command.frame))
        return;
    if (command.written)
        command.written();
    if (command.client)
        m_pollOwed = true;
    if (command.replyFrom) {
        m_client = std::move(command.handler);
        m_clientFrom = command.replyFrom;
        // As long as for a poll: the query and the reply on the wire, and what a reply may be late.
        m_busy.start(wireMs(command.frame.size()) + wireMs(StatusReplyLength) +
                     (m_location.isTcp() ? NetworkReplyAllowanceMs : ReplyAllowanceMs));
        return;
    }
    m_busy.start(wireMs(command.frame.size()));
    if (command.handler)
        command.handler({}, true);
}

PortQueue::Poller* PortQueue::nextPoll() {
    Poller* next = nullptr;
    for (Poller& p : m_pollers) {
        if (p.soon)
            return &p;
        if (!next || p.dueMs < next->dueMs)
            next = &p;
    }
    return next;
}

void PortQueue::pump() {
    if (m_busy.isActive() || m_awaiting || m_client || !m_line.isOpen())
        return;
    Poller* p = nextPoll();
    const qint64 now = m_clock.elapsed();
    // A client sending frame after frame leaves every second turn to a poll that is due.
    const bool pollFirst = m_pollOwed && p && (p->soon || p->dueMs <= now) && !m_commands.empty() &&
                           m_commands.front().client;
    m_pollOwed = false;
    if (!m_commands.empty() && !pollFirst) {
        Command command = std::move(m_commands.front());
        m_commands.pop_front();
        writeCommand(std::move(command));
        return;
    }
    if (!p)
        return;
    if (!p->soon && p->dueMs > now) {
        m_due.start(int(p->dueMs - now));
        return;
    }
    m_due.stop();
    p->soon = false;
    const QByteArray frame = statusQueryFrame(p->address);
    if (verbose())
        logDetail(QStringLiteral("%1: TX %2").arg(location(), hexText(frame).trimmed()));
    m_line.expectReply(p->address);
    if (!m_line.write(frame))
        return;
    m_awaiting = p->owner;
    m_writtenMs = now;
    m_busy.start(wireMs(frame.size()) + wireMs(StatusReplyLength) +
                 (m_location.isTcp() ? NetworkReplyAllowanceMs : ReplyAllowanceMs));
}

void PortQueue::finishReply(std::optional<QByteArray> reply) {
    m_busy.stop();
    m_line.stopReply();
    Poller* p = poller(std::exchange(m_awaiting, nullptr));
    if (reply) {
        // The device lets go of the line right after its reply.
        m_busy.start(TurnaroundMs);
    } else {
        // Stray bytes may still be on their way: the line settles for the gap first.
        m_busy.start(SerialPortControl::QuietGapMs);
    }
    if (p) {
        p->missed = reply ? 0 : p->missed + 1;
        p->dueMs = m_writtenMs + retryMs(p->missed, p->intervalMs);
        if (!reply)
            logDetail(
                QStringLiteral("%1: no reply from address %2").arg(location()).arg(p->address));
        const ReplyHandler handler = p->handler;
        handler(std::move(reply));
    }
}

void PortQueue::onBatch(const QByteArray& bytes) {
    if (verbose())
        logDetail(QStringLiteral("%1: RX %2").arg(location(), hexText(bytes).trimmed()));
    // The same bytes as on the line: the client makes of them what it would of the device's.
    if (m_client)
        m_client(bytes, false);
}

void PortQueue::onReply(ReplyJoiner::Outcome outcome, const QByteArray& bytes) {
    if (m_client) {
        // Six bytes, joined from pieces as the client joins them, end the wait for the address
        // asked; to a broadcast query several may answer until the timeout.
        if (m_clientFrom != BroadcastAddress)
            finishClient();
        return;
    }
    if (!m_awaiting)
        return; // after a command: nobody was asked
    // Anything but the reply of the address asked is a garbled or foreign answer: the asked
    // controller will not send another.
    finishReply(outcome == ReplyJoiner::Outcome::Reply ? std::optional(bytes) : std::nullopt);
}

void PortQueue::onOpened() {
    const bool quiet = m_hangingUp;
    if (!quiet)
        logLine(QStringLiteral("%1: open").arg(portName()));
    m_openSince.start();
    // Every controller is asked at once, and those that had stopped answering at their interval.
    for (Poller& p : m_pollers) {
        p.dueMs = m_clock.elapsed();
        p.missed = 0;
    }
    emit opened();
    pump();
}

void PortQueue::onLost() {
    const bool early = m_openSince.isValid() && m_openSince.elapsed() < StableOpenMs;
    if (m_hangingUp && early) {
        ++m_hangUps;
    } else {
        logLine(QStringLiteral("%1: lost (unplugged or failed); retrying").arg(portName()));
        m_hangingUp = early;
        m_hangUps = 0;
        if (early)
            m_summary.start();
        else
            m_summary.stop();
        m_lastReason.clear();
    }
    m_busy.stop();
    m_due.stop();
    m_awaiting = nullptr;
    m_client = nullptr;
    m_clientFrom.reset();
    m_pollOwed = false;
    const auto commands = m_commands.size();
    m_commands.clear();
    if (commands > 0)
        logLine(QStringLiteral("%1: %2 queued command(s) not sent").arg(portName()).arg(commands));
    emit closed();
}

void PortQueue::summarise() {
    if (m_hangUps > 0) {
        logLine(QStringLiteral("%1: opened and hung up again %2 time(s) in the last minute; "
                               "retrying")
                    .arg(portName())
                    .arg(m_hangUps));
        m_hangUps = 0;
        return;
    }
    // A quiet minute: the episode is over, and the next loss or failure is news again.
    m_hangingUp = false;
    m_summary.stop();
    if (m_line.isOpen())
        logLine(QStringLiteral("%1: open").arg(portName()));
    else if (!m_lastReason.isEmpty())
        logLine(QStringLiteral("%1: cannot open: %2; retrying").arg(portName(), m_lastReason));
}

} // namespace vesk::mqtt
