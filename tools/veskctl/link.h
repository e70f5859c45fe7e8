// The line veskctl talks over: the core's port (serial device or tcp://), its batches cut at quiet
// gaps, and its failures as one line naming the reason.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

#include "core/portlocation.h"
#include "core/serialport.h"

namespace vesk::ctl {

// The port the user named: COM1..COM4 as the consoles map them ($VESKPANEL_COMn, the saved
// choice, the USB adapters present, the platform's device), a device path (relative names made
// absolute) or tcp://HOST:PORT. nullopt with the reason for anything else, and for a COMn whose
// mapping is not a port: unlike the console, no falling back to another device.
std::optional<PortLocation> resolvePort(const QString& text, QString* why);

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(QObject* parent = nullptr);

    // Starts opening. False when it failed at once (see error()); for tcp:// the result follows
    // as opened() or openFailed() while connecting() is true.
    bool open(const PortLocation& location);
    bool connecting() const { return m_port.connecting(); }
    // Why the port did not open, one line starting with the kind of failure ("missing", "busy",
    // "no permission", ...).
    QString error() const;

    // Drops every byte received so far: what was waiting belongs to nobody.
    void discard() {
        // The second call drops what the driver still held beyond the first batch.
        m_port.input();
        m_port.input();
    }
    SerialPortControl& port() { return m_port; }
    // Hands the whole frame to the port; false when the port refused it or has failed.
    bool write(const QByteArray& frame) { return m_port.output(frame); }

signals:
    // The line has been quiet for the quiet gap after these bytes.
    void batch(const QByteArray& bytes);
    // The port failed while open (device gone, connection dropped).
    void failed(const QString& reason);
    void opened();
    void openFailed();

private:
    SerialPortControl m_port;
    PortLocation m_location;
};

} // namespace vesk::ctl
