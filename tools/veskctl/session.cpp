#include "session.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <coroutine>
#include <optional>

#include "core/frames.h"
#include "core/line.h"
#include "core/reply.h"
#include "output.h"
#include "request.h"

namespace vesk::ctl {

namespace {

// The next thing the link reports, an interruption, or a timeout: co_await LinkEvent(...).
class LinkEvent {
public:
    enum Kind { Reply, Failed, Opened, Interrupted, Timeout };
    struct Result {
        Kind kind = Timeout;
        QByteArray bytes;
        QString reason;
        ReplyJoiner::Outcome outcome = ReplyJoiner::Outcome::Pending;
    };

    LinkEvent(Line& link, Interruption& interruption, int ms)
        : m_link(link), m_interruption(interruption), m_ms(ms) {}
    LinkEvent(const LinkEvent&) = delete;
    ~LinkEvent() { disconnectAll(); }

    bool await_ready() const noexcept { return m_interruption.signalNumber() != 0; }
    void await_suspend(std::coroutine_handle<> caller) {
        m_caller = caller;
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        m_connections = {
            QObject::connect(&m_timer, &QTimer::timeout, [this] { finish({}); }),
            QObject::connect(&m_link, &Line::replied,
                             [this](ReplyJoiner::Outcome outcome, const QByteArray& b) {
                                 finish({Reply, b, {}, outcome});
                             }),
            QObject::connect(&m_link, &Line::lost,
                             [this](const PortError& error) {
                                 // A server serving another client is busy; anything else failed.
                                 finish({Failed,
                                         {},
                                         error.reason == PortError::Reason::Busy
                                             ? m_link.errorLine()
                                             : error.text});
                             }),
            QObject::connect(&m_link, &Line::opened,
                             [this] {
                                 finish({Opened, {}, {}});
                             }),
            QObject::connect(&m_link, &Line::openFailed,
                             [this] {
                                 finish({Failed, {}, m_link.errorLine()});
                             }),
            QObject::connect(&m_interruption, &Interruption::raised,
                             [this] {
                                 finish({Interrupted, {}, {}});
                             }),
        };
        m_timer.start(m_ms);
    }
    Result await_resume() {
        if (m_interruption.signalNumber() != 0)
            return {Interrupted, {}, {}};
        return m_result;
    }

private:
    void finish(Result result) {
        disconnectAll();
        m_timer.stop();
        m_result = std::move(result);
        // Resume outside the emitting signal, so that the port is not re-entered from its slot.
        QTimer::singleShot(0, [caller = m_caller] { caller.resume(); });
    }
    void disconnectAll() {
        for (auto& connection : m_connections)
            QObject::disconnect(connection);
    }

    Line& m_link;
    Interruption& m_interruption;
    int m_ms;
    QTimer m_timer;
    std::coroutine_handle<> m_caller;
    std::array<QMetaObject::Connection, 6> m_connections;
    Result m_result;
};

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// What a run has done so far, for the exit code and for a report when it is interrupted.
struct Run {
    SessionContext c;
    const Request* request;
    int sent = 0;
    QMap<int, std::pair<bool, bool>> left; // channel -> (on, confirmed by read-back)
};

// How a wait or a read ended: Exit::Done, or the exit code to end with.
struct Read {
    int code = Exit::Done;
    std::array<bool, 8> states{};
    quint8 from = 0; // the address in the reply, when it is a well-formed status reply
};

int interrupted(Run* r) {
    QList<std::pair<int, std::pair<bool, bool>>> left;
    for (auto it = r->left.cbegin(); it != r->left.cend(); ++it)
        left << std::pair{it.key(), it.value()};
    r->c.output.interrupted(interruptionReport(*r->request, r->sent, left));
    return Exit::Signalled + r->c.interruption.signalNumber();
}

// The exit code for a line that failed: a shared line whose daemon went away after a frame had
// left may have switched and leaves the reply unknown, as a controller that does not answer.
int failedCode(Run* r, bool frameLeft) {
    return frameLeft && !r->c.link.via().isEmpty() ? Exit::NoReply : Exit::PortFailed;
}

// Lets `ms` pass; bytes arriving meanwhile answer nothing asked and are dropped later.
Task<int> pause(Run* r, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        const LinkEvent::Result event =
            co_await LinkEvent(r->c.link, r->c.interruption, int(ms - clock.elapsed()));
        if (event.kind == LinkEvent::Interrupted)
            co_return interrupted(r);
        if (event.kind == LinkEvent::Failed) {
            r->c.output.error(event.reason);
            co_return failedCode(r, r->sent > 0);
        }
    }
    co_return Exit::Done;
}

// Writes one frame; Exit::Done or the failure, reported.
int write(Run* r, const QByteArray& frame) {
    if (r->c.interruption.signalNumber() != 0)
        return interrupted(r);
    if (!r->c.link.write(frame)) {
        r->c.output.error(QStringLiteral("%1: the port failed while writing").arg(r->c.port));
        return Exit::PortFailed;
    }
    return Exit::Done;
}

// Sends the status query and reads the states.
Task<Read> readStates(Run* r) {
    const Request& request = *r->request;
    // Whatever is waiting now answers nothing we asked.
    r->c.link.discard();
    // A reply from the address asked is complete at its sixth byte, a reply the line paused in
    // for longer than the quiet gap (a loaded machine, a USB adapter or a TCP hop delivering it in
    // pieces) is joined again. Several controllers may answer a broadcast query, each with its
    // own address.
    r->c.link.expectReply(request.broadcast ? std::nullopt : std::optional(request.address));
    const QByteArray query = statusQueryFrame(request.address);
    if (const int code = write(r, query); code != Exit::Done)
        co_return Read{code};
    if (request.query)
        r->sent = 1;
    QElapsedTimer clock;
    clock.start();
    std::optional<std::array<bool, 8>> states;
    Read read;
    QByteArray invalid; // the last answer that was no valid status reply
    while (!states) {
        const int left = int(request.timeoutMs - clock.elapsed());
        if (left <= 0)
            break;
        const LinkEvent::Result event = co_await LinkEvent(r->c.link, r->c.interruption, left);
        if (event.kind == LinkEvent::Interrupted)
            co_return Read{interrupted(r)};
        if (event.kind == LinkEvent::Failed) {
            r->c.output.error(event.reason);
            co_return Read{failedCode(r, true)};
        }
        if (event.kind != LinkEvent::Reply)
            continue;
        // Only a valid status reply from the address asked (any address for a broadcast) tells
        // the states, as for the consoles and the daemon: noise, another controller's reply or
        // the colliding replies to a broadcast tell nothing, and the wait goes on.
        const QByteArray& reply = event.bytes;
        if (event.outcome != ReplyJoiner::Outcome::Reply) {
            invalid = reply;
            continue;
        }
        states = lampStates(reply);
        if (states)
            read.from = quint8(reply.at(2));
    }
    r->c.link.stopReply();
    if (!states) {
        QString why;
        if (!invalid.isEmpty())
            why = request.broadcast && invalid.size() > StatusReplyLength
                      ? QStringLiteral(" (replies of several controllers collide)")
                      : QStringLiteral(" (received %1, which is no status reply%2)")
                            .arg(hexText(invalid.left(2 * StatusReplyLength)).trimmed(),
                                 request.broadcast
                                     ? QString()
                                     : QStringLiteral(" from address %1").arg(request.address));
        r->c.output.error(QStringLiteral("no reply from address %1 on %2 within %3 ms%4")
                              .arg(request.address)
                              .arg(r->c.port)
                              .arg(request.timeoutMs)
                              .arg(why));
        co_return Read{Exit::NoReply};
    }
    read.states = *states;
    for (auto it = r->left.begin(); it != r->left.end(); ++it)
        it.value() = {(*states)[size_t(it.key() - 1)], true};
    co_return read;
}

// The channels of `expected` whose state differs in `states`, one text each.
QStringList differences(const ChannelStates& expected, const std::array<bool, 8>& states) {
    QStringList list;
    for (const auto& [channel, on] : expected) {
        if (states[size_t(channel - 1)] != on)
            list << QStringLiteral("channel %1 is %2, asked %3")
                        .arg(channel)
                        .arg(onOff(!on), onOff(on));
    }
    return list;
}

} // namespace

QString interruptionReport(const Request& request, int sent,
                           const QList<std::pair<int, std::pair<bool, bool>>>& left) {
    if (sent == 0)
        return QStringLiteral("%1 interrupted before any frame was sent: nothing changed")
            .arg(request.words);
    const int done = std::min(sent, int(request.steps.size()));
    const Step& last = request.steps.at(done - 1);
    QString what = last.label;
    if (what.isEmpty())
        what = request.steps.size() == 1 || request.query
                   ? QStringLiteral("the frame")
                   : QStringLiteral("frame %1 of %2").arg(sent).arg(request.steps.size());
    QStringList states;
    for (const auto& [channel, state] : left) {
        const auto [on, confirmed] = state;
        states << (confirmed ? QStringLiteral("channel %1 left %2")
                                   .arg(channel)
                                   .arg(on ? QLatin1String("ON") : QLatin1String("OFF"))
                             : QStringLiteral("channel %1 switched %2, not read back")
                                   .arg(channel)
                                   .arg(on ? QLatin1String("ON") : QLatin1String("OFF")));
    }
    const bool timed = std::any_of(request.steps.cbegin(), request.steps.cbegin() + done,
                                   [](const Step& step) { return step.timed; });
    if (states.isEmpty())
        states << (timed ? QStringLiteral("channel states not tracked (the controller switches "
                                          "them on its own timer)")
                         : QStringLiteral("no channel switched"));
    return QStringLiteral("%1 interrupted after %2: %3")
        .arg(request.words, what, states.join(QLatin1String(", ")));
}

Task<int> runRequest(SessionContext c, Request request) {
    Run run{c, &request, 0, {}};
    Run* r = &run;
    if (c.link.connecting()) {
        const LinkEvent::Result event = co_await LinkEvent(
            c.link, c.interruption, SerialPortControl::TcpConnectTimeoutMs + 1000);
        if (event.kind == LinkEvent::Interrupted)
            co_return interrupted(r);
        if (event.kind != LinkEvent::Opened) {
            c.output.error(event.kind == LinkEvent::Failed ? event.reason : c.link.errorLine());
            co_return Exit::PortFailed;
        }
    }
    QElapsedTimer phase; // since the first frame of the current phase (cycle: the off)
    for (const Step& step : request.steps) {
        if (request.query)
            break;
        if (r->sent == 0 || step.label != request.steps.at(r->sent - 1).label)
            phase.start();
        if (const int code = write(r, step.frame); code != Exit::Done)
            co_return code;
        ++r->sent;
        for (const auto& [channel, on] : step.effect)
            r->left[channel] = {on, false};
        c.output.sent(step.frame);
        if (!step.confirm.isEmpty()) {
            if (const int code = co_await pause(r, SettleMs); code != Exit::Done)
                co_return code;
            const Read read = co_await readStates(r);
            if (read.code == Exit::NoReply || read.code == Exit::PortFailed)
                c.output.error(QStringLiteral("%1 stopped after %2, unconfirmed: nothing more sent")
                                   .arg(request.words, step.label));
            if (read.code != Exit::Done)
                co_return read.code;
            if (const QStringList wrong = differences(step.confirm, read.states);
                !wrong.isEmpty()) {
                // Channels that did go off stay off: no on frame follows.
                QStringList cut;
                for (const auto& [channel, on] : step.confirm)
                    if (read.states[size_t(channel - 1)] == on)
                        cut << QString::number(channel);
                c.output.states(read.states);
                c.output.error(QStringLiteral("the power was never cut: %1; %2 stopped, "
                                              "nothing more sent%3")
                                   .arg(wrong.join(QLatin1String("; ")), request.command,
                                        cut.isEmpty() ? QString()
                                                      : QStringLiteral("; channel %1 left OFF")
                                                            .arg(cut.join(QLatin1Char(',')))));
                co_return Exit::Mismatch;
            }
        }
        // The frame is on its way; the next one starts after it has left the line and a quiet gap
        // has passed, so that the device sees two frames.
        const int pauseMs =
            std::max<qint64>(lineTimeMs(step.frame.size()) + SerialPortControl::QuietGapMs,
                             step.pauseAfterMs - phase.elapsed());
        if (const int code = co_await pause(r, pauseMs); code != Exit::Done)
            co_return code;
    }
    if (!request.note.isEmpty())
        c.output.note(request.note);
    if (!request.query && request.expected.isEmpty())
        co_return Exit::Done;
    if (!request.query) {
        if (const int code = co_await pause(r, SettleMs); code != Exit::Done)
            co_return code;
    }
    const Read read = co_await readStates(r);
    if (read.code != Exit::Done)
        co_return read.code;
    c.output.states(read.states);
    if (request.broadcast)
        c.output.note(QStringLiteral("broadcast: the states of whichever controller answered "
                                     "(address %1)")
                          .arg(read.from));
    if (request.query) {
        for (int channel : request.statusChannels) {
            if (!read.states[size_t(channel - 1)])
                co_return Exit::SomeOff;
        }
        co_return Exit::Done;
    }
    if (const QStringList wrong = differences(request.expected, read.states); !wrong.isEmpty()) {
        c.output.error(
            QStringLiteral("read-back differs: %1").arg(wrong.join(QLatin1String("; "))));
        co_return Exit::Mismatch;
    }
    co_return Exit::Done;
}

} // namespace vesk::ctl
