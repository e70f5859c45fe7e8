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
    // Busy: the line is held and cannot be offered now (a routed stream only).
    enum class Failure { Refused, HostNotFound, TimedOut, Busy, Other };
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
};

class TcpLink : public StreamLink {
public:
    // Looks the name up and connects without blocking; at most readBufferSize bytes are held.
    virtual void connectToHost(const QString& host, quint16 port, qint64 readBufferSize) = 0;
};

// A connection to a local server (a Unix socket, a named pipe on Windows): a line another
// program shares. Connecting and the first line are waited for, briefly: the server is a process
// on the same machine that answers at once.
class LocalLink : public StreamLink {
public:
    enum class Outcome { Connected, Missing, Refused, Permission, TimedOut, Other };
    // Connects to `name` (a socket path or pipe name), waiting at most timeoutMs.
    virtual Outcome connectTo(const QString& name, qint64 readBufferSize, int timeoutMs) = 0;
    // One line up to and including '\n', of at most maxBytes, waiting at most timeoutMs; what
    // follows it stays unread. Empty when none came.
    virtual QByteArray readLine(int maxBytes, int timeoutMs) = 0;
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

#define VESK_TCPLINK_IID "example.vesk_power.TcpLinkFactory/2"
Q_DECLARE_INTERFACE(vesk::TcpLinkFactory, VESK_TCPLINK_IID)
