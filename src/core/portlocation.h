// The forms a port can be given in, one parser for every program: a device path
// ("/dev/ttyUSB0", "/dev/serial/by-id/..."), a Windows "COMn", or "tcp://HOST:PORT" for a raw
// TCP socket served by a serial device server or ser2net (the server sets the line to 9600 8N1).
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace vesk {

struct PortLocation {
    enum class Kind { Device, WindowsCom, Tcp };
    Kind kind = Kind::Device;
    QString path;        // Device: the path as given; WindowsCom: "COM3"
    QString host;        // Tcp: host name or address (IPv6 without brackets)
    quint16 tcpPort = 0; // Tcp: 1..65535

    bool isTcp() const { return kind == Kind::Tcp; }
    // The location in the form the parser takes back ("tcp://[::1]:2000" for IPv6).
    QString text() const;
    friend bool operator==(const PortLocation&, const PortLocation&) = default;
};

// Parses one port. Surrounding blanks are ignored. Returns nullopt for anything else, with a
// short reason in plain words in *why when given.
std::optional<PortLocation> parsePortLocation(QStringView text, QString* why = nullptr);

// A port as typed on a command line, where the shell's completion offers relative names: as
// parsePortLocation(), but a relative name is a device path made absolute against the working
// folder ("./link", "ttyUSB0" in /dev), or, a bare name that is not there, against /dev when it
// exists there. A name that exists nowhere stays a path in the working folder, which opens as
// missing.
std::optional<PortLocation> parsePortArgument(QStringView text, QString* why = nullptr);

} // namespace vesk
