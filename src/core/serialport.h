// The console's port: a serial device at fixed line settings (9600 8N1) or a raw TCP socket to a
// serial device server, one receive notification per burst of bytes, a broken port closed at its
// first fault, and a reason in plain words when a port does not open.
//
// Use without widgets:
//
//     SerialPortControl port;
//     connect(&port, &SerialPortControl::opened, ...);      // the port is open, output() works
//     connect(&port, &SerialPortControl::openFailed, ...);  // PortError: reason + text
//     connect(&port, &SerialPortControl::onComm, [&] { handle(port.input()); });
//     connect(&port, &SerialPortControl::portLost, ...);    // unplugged / connection dropped
//     if (!port.openLocation(*parsePortLocation(u"tcp://10.0.0.5:4001")))
//         qWarning() << port.lastError().text;               // failed at once
//
// openLocation() on a serial device decides before it returns: true = open, false = lastError(); it
// also emits opened() or openFailed() before returning. On tcp:// it returns true while
// connecting (connecting() is true) and the result follows from the event loop as opened() or
// openFailed(); a host that has not accepted within TcpConnectTimeoutMs fails with TimedOut.
// Start retries from a timer, not from inside an openFailed() receiver's call chain.
//
// Serial devices are locked by their canonical path (symbolic links such as the
// /dev/serial/by-id/ names resolved), with the same lock file QSerialPort uses, so the same
// adapter reached under two names is busy for the second opener in every program of the project.
//
// The consoles keep using COMn numbers: setCommPort(n) + setPortOpen(true) opens locationFor(n).
//
// With a route set (setRoute()), every open asks it first: a program holding the line may offer
// it, and the port then goes through the stream the route hands over instead of opening the
// device.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "core/portlocation.h"
#include "core/reply.h"
#include "core/tcplink.h"

#include <functional>
#include <memory>
#include <optional>

namespace vesk {

// Why a port did not open.
struct PortError {
    enum class Reason { None, Missing, Permission, Busy, StaleLock, Refused, TimedOut, Other };
    Reason reason = Reason::None;
    // One line in plain words, naming the port: "/dev/ttyUSB0: busy, in use by process 4711
    // (veskpanel)". Empty for None.
    QString text;
    // Busy and StaleLock: the process id the lock file names (0 when unknown).
    qint64 lockOwnerPid = 0;
};

// One name for every spelling of the same port: tcp:// in its normal form, a device by its real
// path (links resolved; the absolute path when nothing is there), a Windows COMn as it is. Ports
// with the same name are the same line, whichever program asks.
QString canonicalPortName(const PortLocation& location);

// Another way to a line than opening the port: a program holding the line may offer it. A port
// with a route asks it at each open; when the route offers the port, the port goes through the
// stream it hands over, and says so with `note`.
class LineRoute {
public:
    virtual ~LineRoute() = default;
    // A stream (connecting or connected) to the line called `canonical`, or nullptr when this
    // route does not offer it (the port is then opened itself). Deciding must not wait on another
    // process: what only the other side can tell follows as the stream's events (a stream that
    // fails with Failure::Gone hands the open back to the port itself).
    virtual std::unique_ptr<StreamLink> offer(const PortLocation& location,
                                              const QString& canonical) = 0;
};

class SerialPortControl : public QObject {
    Q_OBJECT
public:
    // The line has to stay quiet this long before received bytes are handed on as one batch: longer
    // than 3.5 character times at 9600 bit/s, and long enough to join the chunks a USB adapter
    // or a TCP connection delivers.
    static constexpr int QuietGapMs = 20;
    static constexpr int ReceiveBufferSize = 1024;
    static constexpr int TcpConnectTimeoutMs = 3000;
    // What a device server serving another client sends before it closes a connection.
    static constexpr char ServerBusyText[] = "Port already in use";

    explicit SerialPortControl(QObject* parent = nullptr);
    ~SerialPortControl() override;

    // Device name of COMn: $VESKPANEL_COMn when set, otherwise the platform's name for port n.
    static QString deviceNameFor(int commPort);
    // The port COMn stands for: the one given to setLocationFor(), otherwise deviceNameFor(n).
    std::optional<PortLocation> locationFor(int commPort) const;
    void setLocationFor(int commPort, const PortLocation& location);

    int commPort() const { return m_commPort; }
    // Takes effect at the next open; ignored while the port is open.
    void setCommPort(int port);

    // Open and ready for output() (a tcp:// port once connected).
    bool portOpen() const;
    // A tcp:// connection attempt is under way.
    bool connecting() const { return m_connecting; }
    // Opens locationFor(commPort()) (true) or closes (false). Opening fails for a missing, busy or
    // inaccessible port and leaves it closed; closing a closed port does nothing, closing also
    // abandons a connection attempt. Returns whether the port is open afterwards: for tcp:// that
    // is false while connecting() (the result follows as opened() / openFailed()).
    bool setPortOpen(bool open);

    // Asked at every open (setPortOpen(), openLocation()) before the port itself; nullptr: none.
    // Not owned, must outlive the port or be unset first.
    void setRoute(LineRoute* route) { m_route = route; }
    // The route's note for the open port when it went through the route ("through vesk-mqtt,
    // process 4711"); empty otherwise and while connecting.
    QString via() const { return m_via; }

    // Closes whatever is open and opens `location` (through the route when it offers it); see the
    // comment at the top. Through a route it is like a tcp:// open: true while connecting.
    bool openLocation(const PortLocation& location);
    // Closes whatever is open and reaches the line `location` names through `link` instead, a
    // stream that is connecting (or connected): like a tcp:// open, true at once, and the result
    // follows as opened() or openFailed(). Bytes and failures are handled as on a tcp:// port.
    bool openStream(std::unique_ptr<StreamLink> link, const PortLocation& location);
    // The port open or being connected, nullopt when closed.
    std::optional<PortLocation> currentLocation() const;
    // Why the last open failed; Reason::None after a successful open.
    const PortError& lastError() const { return m_error; }
    // Bytes have arrived since the port opened (a port that never answered is likely the wrong
    // one).
    bool hasAnswered() const { return m_answered; }

    // The lock file QSerialPort takes for a device path, and the canonical path this class opens.
    static QString lockFilePathFor(const QString& devicePath);
    static QString canonicalDevice(const QString& path);

    // The batch received so far (at most ReceiveBufferSize bytes, in arrival order) and empties
    // it; bytes beyond it follow as the next batch. Empty when the port is closed.
    QByteArray input();
    // While set, a batch that is exactly a status reply from `address` is handed on (onComm) at its
    // sixth byte instead of after the quiet gap; anything else waits for the gap as usual. The
    // expectation ends when such a reply is handed on, at the next call, or when the port closes.
    // The consoles never set it: their lamps follow the quiet-gap batch. `held`: the first bytes of
    // the reply, taken already as an earlier batch; the rest completes it at its sixth byte.
    // On a serial device (Unix) the driver is asked to gather the bytes still missing before it
    // reports the port readable, so that a reply arriving a byte at a time at line speed is read
    // once rather than a byte at a time. While the expectation lasts, fewer bytes than that stay
    // with the driver; stopExpecting() takes them.
    void expectStatusReply(std::optional<quint8> address, const QByteArray& held = {});
    // Ends the expectation and moves into the batch what the driver held back for it (a reply cut
    // short, stray bytes); true when there was any. The batch is then handed on as usual, after
    // the gap, unless the caller takes it with input() at once.
    bool stopExpecting();

    // Hands the bytes to the port in one call and pushes them towards the line without waiting.
    // Returns false (and writes nothing) when the port is closed or broken.
    bool output(const QByteArray& bytes);

signals:
    // Bytes are waiting and the line has been quiet for QuietGapMs.
    void onComm();
    // The open port failed (adapter unplugged, device gone, connection dropped) and was closed.
    void portLost();
    // The port opened (serial: inside openLocation(); tcp://: once connected).
    void opened();
    // The port did not open; lastError() holds the same reason.
    void openFailed(const vesk::PortError& error);
    // The first bytes since the port opened arrived.
    void answered();
    // Bytes handed to the port by output(), and batches taken by input(): for a journal.
    void written(const QByteArray& bytes);
    void taken(const QByteArray& batch);

private:
    // Opens `location` itself, not asking the route.
    bool openDirect(const PortLocation& location);
    bool openSerial(const PortLocation& location);
    void startTcp(const PortLocation& location);
    // Hands `link`'s events to this port; events of a link no longer in use are dropped.
    void watchStream(StreamLink* link);
    // Runs `handle` from the event loop, outside the current call chain, if the port has not been
    // opened or closed again in the meantime.
    void later(std::function<void()> handle);
    void streamConnected();
    void streamError(StreamLink::Failure failure);
    bool onStream() const { return m_stream && m_device == m_stream->device(); }
    bool fail(PortError error);
    void closeAll();
    void lose();
    void handleError(QSerialPort::SerialPortError error);
    // Moves what the driver holds into the batch, as far as it has room, and restarts the gap.
    void pullReceived();
    // Sets the bytes the driver gathers before it reports a serial device readable to what the
    // expected reply still lacks (0, as QSerialPort leaves it, when nothing is expected).
    void updateReadMinimum();
    void setReadMinimum(int bytes);

    QSerialPort m_port;
    std::unique_ptr<TcpLink> m_tcp;       // made at the first tcp:// open
    std::unique_ptr<StreamLink> m_routed; // given to openStream()
    // The routed stream closed last: kept, since the close may come from inside its own signal.
    std::unique_ptr<StreamLink> m_retired;
    StreamLink* m_stream = nullptr; // m_tcp or m_routed while one is in use
    QIODevice* m_device = nullptr;  // the open one
    QTimer m_connectTimer;
    bool m_connecting = false;
    quint64 m_generation = 0; // counts opens and closes, so late socket events are recognised
    std::optional<PortLocation> m_location;
    LineRoute* m_route = nullptr;
    QString m_via;
    PortError m_error;
    bool m_answered = false;
    QMap<int, PortLocation> m_locations;
    QTimer m_quiet;
    QElapsedTimer m_clock;
    BatchAssembler m_batch{QuietGapMs, ReceiveBufferSize};
    std::optional<quint8> m_expectedReply;
    QByteArray m_expectedHeld;
    int m_readMinimum = 0; // what the driver gathers before the device counts as readable
    struct DriverSettings;
    std::unique_ptr<DriverSettings> m_driverSettings; // read at the first change after an open
    int m_commPort = 1;
};

} // namespace vesk

Q_DECLARE_METATYPE(vesk::PortError)
