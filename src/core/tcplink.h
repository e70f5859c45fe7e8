// A raw TCP connection to a serial device server, behind a small interface so that the network
// library is loaded only when a tcp:// port is opened: a console on a serial adapter never maps
// it, nor the Kerberos and proxy libraries it pulls in.
//
// The implementation lives in a module (vesk-tcp.so) beside the programs; createTcpLink() loads it
// on first use and tells why when it cannot.
#pragma once

#include <QIODevice>
#include <QString>
#include <QtPlugin>

#include <functional>
#include <memory>

namespace vesk {

// A byte stream that stands in for a serial line: a TCP connection to a device server, or any
// other way to a line a program adds (see Line's routes). The port reads and writes its device()
// once connected; every event arrives through Events.
class StreamLink {
public:
    // Busy: the line is held and cannot be offered now; Gone: the program that offered it has
    // ended meanwhile, so the port itself may be opened (both for a routed stream only).
    enum class Failure { Refused, HostNotFound, TimedOut, Busy, Gone, Other };
    // Called from the stream's signals; a receiver must not delete the link from inside them.
    struct Events {
        std::function<void()> connected;
        std::function<void()> readyRead;
        std::function<void()> disconnected;
        std::function<void(Failure)> failed;
    };

    virtual ~StreamLink() = default;
    virtual void setEvents(Events events) = 0;
    virtual bool isConnected() const = 0;
    // Not connected and no attempt under way.
    virtual bool isIdle() const = 0;
    // The connected stream, for reading and writing.
    virtual QIODevice* device() = 0;
    // Pushes written bytes on without waiting.
    virtual void flush() = 0;
    virtual void abort() = 0;
    // Why the stream failed, one line (for Failure::Refused the other side's own words).
    virtual QString errorString() const = 0;
    // For a routed stream once connected: one line for the user naming the way ("through
    // PROGRAM, process N").
    virtual QString via() const { return {}; }
};

class TcpLink : public StreamLink {
public:
    // Looks the name up and connects without blocking; at most readBufferSize bytes are held.
    virtual void connectToHost(const QString& host, quint16 port, qint64 readBufferSize) = 0;
};

// A connection to a local server (a Unix socket, a named pipe on Windows): a line another
// program shares. Nothing here waits: a server that accepted the connection but does not answer
// (a stopped process) must not stall the program's event loop.
class LocalLink : public StreamLink {
public:
    enum class Outcome { Connected, Missing, Refused, Closed, Permission, TimedOut, Other };
    // Starts connecting to `name` (a socket path or pipe name); the result follows as
    // Events::connected or Events::failed, and outcome() tells which failure it was.
    virtual void connectTo(const QString& name, qint64 readBufferSize) = 0;
    // How the last connection attempt ended (Connected while it has not failed).
    virtual Outcome outcome() const = 0;
    // One line up to and including '\n' when a whole one has arrived; what follows it stays
    // unread. Empty otherwise.
    virtual QByteArray readLine(int maxBytes) = 0;
    // Bytes received and not read yet.
    virtual qint64 bytesAvailable() const = 0;
    // The socket's descriptor, for asking the system who is on the other end.
    virtual qintptr descriptor() const = 0;
};

// The server side: a local socket (named pipe) that other programs on this machine connect to,
// open to the owner and the group only.
class LocalListener {
public:
    virtual ~LocalListener() = default;
    // Listens on `name` (a socket left behind by a killed process is removed first); connections
    // are handed to `accepted`, each reading at most readBufferSize bytes ahead. False with *why.
    virtual bool listen(const QString& name, qint64 readBufferSize,
                        std::function<void(std::unique_ptr<LocalLink>)> accepted, QString* why) = 0;
    virtual void close() = 0;
};

// What the module exports.
class TcpLinkFactory {
public:
    virtual ~TcpLinkFactory() = default;
    virtual std::unique_ptr<TcpLink> create() = 0;
    virtual std::unique_ptr<LocalLink> createLocal() = 0;
    virtual std::unique_ptr<LocalListener> createListener() = 0;
};

// A new link, or nullptr with *why saying what is missing.
std::unique_ptr<TcpLink> createTcpLink(QString* why);
std::unique_ptr<LocalLink> createLocalLink(QString* why);
std::unique_ptr<LocalListener> createLocalListener(QString* why);

} // namespace vesk

#define VESK_TCPLINK_IID "example.vesk_power.TcpLinkFactory/3"
Q_DECLARE_INTERFACE(vesk::TcpLinkFactory, VESK_TCPLINK_IID)
