// A line shared by the daemon that holds it: how a program that names only the port finds the
// share, and the one text line that opens every connection to it.
//
// The daemon serves each open line on a local socket (a named pipe on Windows). It names the socket
// in a small file in the lock folder, the one every user can read: "vesk-share-" and a hash of the
// port's canonical form (the real device path, or tcp://HOST:PORT), so that any spelling of the
// port leads to the same file. The file holds the socket's path and the daemon's process id.
//
// On connect the daemon first sends one line: "vesk-mqtt 4711 /dev/ttyUSB0 ready" (program,
// process id, port), or the same with "refused: REASON" in place of "ready", and then closes.
// After "ready", every byte in either direction is the line's: the client writes whole frames as
// to the device and receives the replies to them.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

#include "core/serialport.h"

namespace vesk::share {

// The longest greeting line a client reads.
inline constexpr int MaxGreeting = 512;
// How long a client waits for the greeting of a daemon that accepted the connection.
inline constexpr int GreetingTimeoutMs = 2000;

// The file naming the share of `canonicalPort`, in the first of the usual lock folders that exists
// (the daemon writes it there; a client reads it from the same place).
QString pointerPath(const QString& canonicalPort);
// Where a daemon not given a runtime folder of its own puts the socket of `canonicalPort`.
QString defaultSocketPath(const QString& canonicalPort);
// The server name a Windows build listens on: a named pipe, found without a pointer file.
QString pipeName(const QString& canonicalPort);

struct Pointer {
    QString socket;
    qint64 pid = 0;
};
QByteArray pointerText(const Pointer& pointer);
// The pointer file of `canonicalPort`, nullopt when there is none or it is not one.
std::optional<Pointer> readPointer(const QString& canonicalPort);

struct Greeting {
    QString program;
    qint64 pid = 0;
    QString port;
    QString refusal; // empty: ready
};
QByteArray greetingLine(const Greeting& greeting);
// One greeting line (with or without its '\n'); nullopt when the line is not one.
std::optional<Greeting> parseGreeting(QByteArrayView line);

// The note every program shows for a line reached through a share: "through vesk-mqtt, process
// 4711" (translated in a console that installed its language).
QString viaText(const QString& program, qint64 pid);

// The way to a line a daemon shares, for every program that does not hold lines for others: set on
// a Line, it offers the share when a live daemon serves the port, and nothing otherwise (a file
// left by a daemon that was killed leads nowhere: the port opens directly). A share that refuses
// the program or that this user may not use is offered as a connection that fails with the reason,
// never a silent fallback to the port itself.
class ShareRoute : public LineRoute {
public:
    std::unique_ptr<StreamLink> offer(const PortLocation& location,
                                      const QString& canonical) override;
};

} // namespace vesk::share
