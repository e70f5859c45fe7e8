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
    enum class Failure { Refused, HostNotFound, TimedOut, Other };
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

// What the module exports.
class TcpLinkFactory {
public:
    virtual ~TcpLinkFactory() = default;
    virtual std::unique_ptr<TcpLink> create() = 0;
};

// A new link, or nullptr with *why saying what is missing.
std::unique_ptr<TcpLink> createTcpLink(QString* why);

} // namespace vesk

#define VESK_TCPLINK_IID "example.vesk_power.TcpLinkFactory/1"
Q_DECLARE_INTERFACE(vesk::TcpLinkFactory, VESK_TCPLINK_IID)
