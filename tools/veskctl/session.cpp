#include "session.h"

#include <QTimer>

#include <coroutine>
#include <optional>

#include "core/frames.h"
#include "core/reply.h"
#include "core/serialport.h"
#include "core/waits.h"
#include "link.h"
#include "output.h"
#include "request.h"

namespace vesk::ctl {

namespace {

// The next thing the link reports, or a timeout: co_await LinkEvent(link, ms).
class LinkEvent {
public:
    enum Kind { Batch, Failed, Opened, Timeout };
    struct Result {
        Kind kind = Timeout;
        QByteArray bytes;
        QString reason;
    };

    LinkEvent(Link& link, int ms) : m_link(link), m_ms(ms) {}
    LinkEvent(const LinkEvent&) = delete;
    ~LinkEvent() { disconnectAll(); }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> caller) {
        m_caller = caller;
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        m_connections = {
            QObject::connect(&m_timer, &QTimer::timeout, [this] { finish({}); }),
            QObject::connect(&m_link, &Link::batch,
                             [this](const QByteArray& b) {
                                 finish({Batch, b, {}});
                             }),
            QObject::connect(&m_link, &Link::failed,
                             [this](const QString& r) {
                                 finish({Failed, {}, r});
                             }),
            QObject::connect(&m_link, &Link::opened,
                             [this] {
                                 finish({Opened, {}, {}});
                             }),
            QObject::connect(&m_link, &Link::openFailed,
                             [this] {
                                 finish({Failed, {}, m_link.error()});
                             }),
        };
        m_timer.start(m_ms);
    }
    Result await_resume() { return m_result; }

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

    Link& m_link;
    int m_ms;
    QTimer m_timer;
    std::coroutine_handle<> m_caller;
    std::array<QMetaObject::Connection, 5> m_connections;
    Result m_result;
};

// Milliseconds the frame takes on a 9600 bit/s line (ten bits a byte), rounded up.
int lineTimeMs(const QByteArray& frame) {
    return int((frame.size() * 10 * 1000 + 9599) / 9600);
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// Writes one frame. Yields an empty text or the failure.
QString writeFrame(const SessionContext& c, const QByteArray& frame) {
    if (!c.link.write(frame))
        return QStringLiteral("%1: the port failed while writing").arg(c.port);
    return {};
}

} // namespace

Task<int> runRequest(SessionContext c, Request request) {
    if (c.link.connecting()) {
        const LinkEvent::Result event =
            co_await LinkEvent(c.link, SerialPortControl::TcpConnectTimeoutMs + 1000);
        if (event.kind != LinkEvent::Opened) {
            c.output.error(event.kind == LinkEvent::Failed ? event.reason : c.link.error());
            co_return Exit::PortFailed;
        }
    }
    for (const Step& step : request.steps) {
        if (request.query)
            break;
        const QString failure = writeFrame(c, step.frame);
        if (!failure.isEmpty()) {
            c.output.error(failure);
            co_return Exit::PortFailed;
        }
        c.output.sent(step.frame);
        // The frame is on its way; the next one starts after it has left the line and a quiet gap
        // has passed, so that the device sees two frames.
        const int pause =
            step.pauseAfterMs + lineTimeMs(step.frame) + SerialPortControl::QuietGapMs;
        if (const bool waited = co_await c.waits.Delay(pause); !waited)
            co_return Exit::PortFailed;
    }
    if (!request.note.isEmpty())
        c.output.note(request.note);
    if (!request.query && request.expected.isEmpty())
        co_return Exit::Done;

    if (!request.query) {
        if (const bool waited = co_await c.waits.Delay(SettleMs); !waited)
            co_return Exit::PortFailed;
    }
    // Whatever is waiting now answers nothing we asked.
    c.link.discard();
    const QByteArray query =
        request.query ? request.steps.first().frame : statusQueryFrame(request.address);
    if (const QString failure = writeFrame(c, query); !failure.isEmpty()) {
        c.output.error(failure);
        co_return Exit::PortFailed;
    }
    QElapsedTimer clock;
    clock.start();
    std::optional<std::array<bool, 8>> states;
    QByteArray pieces;
    while (!states) {
        const int left = int(request.timeoutMs - clock.elapsed());
        if (left <= 0)
            break;
        const LinkEvent::Result event = co_await LinkEvent(c.link, left);
        if (event.kind == LinkEvent::Failed) {
            c.output.error(event.reason);
            co_return Exit::PortFailed;
        }
        if (event.kind == LinkEvent::Batch) {
            // Any six-byte batch is the status reply. A reply the line paused in (a loaded
            // machine, a USB adapter or a TCP hop delivering it in pieces) arrives as short
            // batches: these are joined until they make six bytes; anything longer is no answer.
            states = lampStates(event.bytes);
            if (!states && event.bytes.size() < StatusReplyLength) {
                pieces += event.bytes;
                states = lampStates(pieces);
                if (pieces.size() >= StatusReplyLength)
                    pieces.clear();
            }
        }
    }
    if (!states) {
        c.output.error(QStringLiteral("no reply from address %1 on %2 within %3 ms")
                           .arg(request.address)
                           .arg(c.port)
                           .arg(request.timeoutMs));
        co_return Exit::NoReply;
    }
    c.output.states(*states);
    QStringList differences;
    for (const auto& [channel, on] : request.expected) {
        if ((*states)[size_t(channel - 1)] != on)
            differences << QStringLiteral("channel %1 is %2, asked %3")
                               .arg(channel)
                               .arg(onOff(!on), onOff(on));
    }
    if (!differences.isEmpty()) {
        c.output.error(
            QStringLiteral("read-back differs: %1").arg(differences.join(QLatin1String("; "))));
        co_return Exit::Mismatch;
    }
    co_return Exit::Done;
}

} // namespace vesk::ctl
