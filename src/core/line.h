// One line to a bus of controllers, as every program without a window uses it: the port named the
// way a user names it (device path, COM1..COM4, tcp://HOST:PORT), opened directly or through a
// route another program offers, a tcp:// server given time to say it is busy before the line
// counts as open, received bytes as quiet-gap batches, a status reply taken at its sixth byte and
// a reply cut by a pause joined again, and, where wanted, reopened by itself after a failure.
//
//     Line line;
//     connect(&line, &Line::opened, ...);            // ready for write()
//     connect(&line, &Line::openFailed, ...);        // error() / errorLine() say why
//     connect(&line, &Line::replied, ...);           // after expectReply()
//     connect(&line, &Line::lost, ...);              // unplugged, dropped, or a busy server
//     line.open(location);
//
// A device decides within open() (opened() or openFailed() is emitted before it returns); a
// tcp:// server and a route decide from the event loop.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

#include "core/portlocation.h"
#include "core/reopener.h"
#include "core/serialport.h"

namespace vesk {

// Milliseconds `bytes` bytes take on the 9600 bit/s line (ten bits a byte), rounded up.
inline constexpr int lineTimeMs(qsizetype bytes) {
    return int((bytes * 10 * 1000 + 9599) / 9600);
}

// Unanswered status queries in a row after which a controller counts as silent and is reported
// offline.
inline constexpr int MissesBeforeSilent = 3;

// How COM1..COM4 are mapped to devices, as the consoles choose them: $VESKPANEL_COMn, the saved
// choice, the USB adapters present, the platform's device. A console falls back past a value that
// is not a port with a warning (Lenient); a script must not be sent to another device than the one
// it was configured for, so there that is an error (Strict). COM5 and above name Windows ports
// only.
enum class ComMapping { Lenient, Strict };

// The port `text` names: a COMn mapped as above, a device path (relative names made absolute, see
// parsePortArgument()) or tcp://HOST:PORT. nullopt with the reason in *why otherwise.
std::optional<PortLocation> resolvePortName(const QString& text, ComMapping mapping,
                                            QString* why = nullptr);

// Collects the reply to a status query: bytes cut by a pause longer than the quiet gap arrive as
// short batches and are joined until they make six bytes.
class ReplyJoiner {
public:
    enum class Outcome {
        Pending, // fewer than six bytes so far
        Reply,   // six bytes that are the reply of the address asked (any address: broadcast)
        Odd,     // six bytes that are no such reply (a display shows them all the same)
        Garbled, // more than six bytes: no reply
    };
    // Starts collecting for `address` (nullopt: whichever controller answers a broadcast).
    void start(std::optional<quint8> address);
    void stop();
    bool active() const { return m_active; }
    std::optional<quint8> address() const { return m_address; }
    // The bytes held so far (fewer than six).
    const QByteArray& held() const { return m_held; }
    // Adds one batch; for Reply, Odd and Garbled *bytes gets the bytes judged and collecting starts
    // afresh for the same address.
    Outcome add(const QByteArray& batch, QByteArray* bytes);

private:
    std::optional<quint8> m_address;
    QByteArray m_held;
    bool m_active = false;
};

class Line : public QObject {
    Q_OBJECT
public:
    explicit Line(QObject* parent = nullptr);

    // Asked at every open, before the port itself (see SerialPortControl::setRoute()); not owned,
    // must outlive the line.
    void setRoute(LineRoute* route) { m_port.setRoute(route); }
    // After a failed open or a lost line, try again by itself (a device once a second while it is
    // missing, a server at growing intervals) until open() or close(). Each attempt goes the way
    // open() goes.
    void setReopening(bool on) { m_reopening = on; }

    // Starts opening `location`; see the comment at the top. False when it failed at once.
    bool open(const PortLocation& location);
    void close();
    bool isOpen() const { return m_port.portOpen() && !m_settle.isActive(); }
    // An open is under way (a server or route connecting, or a server's first moments).
    bool connecting() const { return m_port.connecting() || m_settle.isActive(); }
    PortLocation location() const { return m_location; }
    // The way the open line goes when not directly: the route's note, else empty.
    QString via() const { return m_port.via(); }

    // Why the last open failed or the line was lost.
    const PortError& error() const { return m_error; }
    // The same as one line starting with the kind of failure: "port busy: /dev/ttyUSB0: busy, ...".
    QString errorLine() const;

    // Hands the whole frame to the line; false when the line refused it or has failed.
    bool write(const QByteArray& frame) { return isOpen() && m_port.output(frame); }
    // Drops every byte received so far: what was waiting belongs to nobody.
    void discard();
    // The reply to a status query from `address` (nullopt: a broadcast, any address) is expected:
    // batches are joined as ReplyJoiner does and judged by replied(); the first reply from
    // `address` is taken at its sixth byte. Ends with stopReply(), which hands on at once, as a
    // batch, what the port held back for that sixth byte (a reply cut short).
    void expectReply(std::optional<quint8> address);
    void stopReply();

    // The port itself, for a frame journal to attach to.
    SerialPortControl& port() { return m_port; }

signals:
    void opened();
    void openFailed(const vesk::PortError& error);
    // Every batch received (also while a reply is expected).
    void batch(const QByteArray& bytes);
    // While a reply is expected: six bytes or more, judged.
    void replied(vesk::ReplyJoiner::Outcome outcome, const QByteArray& bytes);
    // The open line failed (device gone, connection dropped, a server serving another client).
    void lost(const vesk::PortError& error);

private:
    void onOpened();
    void failOpen(const PortError& error);
    void onBatch(const QByteArray& bytes);
    void reopenLater();

    SerialPortControl m_port;
    PortReopener m_reopener{m_port};
    bool m_reopening = false;
    PortLocation m_location;
    PortError m_error;
    QTimer m_settle; // a server's first moments
    ReplyJoiner m_joiner;
};

} // namespace vesk
