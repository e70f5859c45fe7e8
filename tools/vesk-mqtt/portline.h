// One line of the daemon, named by its port form: a device path, COMn or tcp://HOST:PORT. Opening
// reports success or the reason for failure (for tcp:// after the connection attempt), received
// bytes arrive as quiet-gap batches (an expected status reply as soon as it is complete), and an
// unplugged adapter or a dropped connection is reported. A port that does not open or is lost is
// tried again by itself, as the consoles do: a device path once a second while it is missing, a
// tcp:// server at growing intervals of at most 1.5 s.
#pragma once

#include "core/portlocation.h"
#include "core/reopener.h"
#include "core/serialport.h"

#include <QObject>
#include <QString>

namespace vesk::mqtt {

// Whether `text` is a port form the daemon can open; otherwise `reason` says why not.
bool isPortForm(const QString& text, QString* reason);
// One key for every spelling of the same port, so that controllers sharing a line share a queue.
QString canonicalPortKey(const QString& text);
// The port as the configuration names it (COMn mapped to its device, links not followed): what a
// second daemon started from the same configuration would name too. Unlike the real device
// behind a link, it does not change when an adapter is unplugged and its number reused.
QString configuredPortKey(const QString& text);

class PortLine : public QObject {
    Q_OBJECT
public:
    explicit PortLine(const QString& text, QObject* parent = nullptr);

    QString location() const { return m_text; }
    bool isOpen() const { return m_port.portOpen(); }
    // A tcp:// device server rather than a local device.
    bool isNetwork() const { return m_location.isTcp(); }
    // Starts opening; opened() or openFailed() follows (for a device before this returns), and
    // after a failure further attempts until one succeeds.
    void open();
    bool write(const QByteArray& bytes) { return m_port.output(bytes); }
    // The port itself, for a frame journal to attach to.
    SerialPortControl& port() { return m_port; }
    // A status reply from `address` is handed on at its sixth byte; anything else after the gap.
    void expectStatusReply(std::optional<quint8> address) { m_port.expectStatusReply(address); }

signals:
    void opened();
    void openFailed(const QString& reason);
    void batch(const QByteArray& bytes);
    void lost();

private:
    QString m_text;
    PortLocation m_location;
    SerialPortControl m_port;
    PortReopener m_reopener{m_port};
};

} // namespace vesk::mqtt
