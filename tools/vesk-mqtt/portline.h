// One line of the daemon, named by its port form: a device path, COMn or tcp://HOST:PORT. Opening
// reports success or the reason for failure (for tcp:// after the connection attempt), received
// bytes arrive as quiet-gap batches, and an unplugged adapter or a dropped connection is reported.
#pragma once

#include "core/portspec.h"
#include "core/serialport.h"

#include <QObject>
#include <QString>

namespace vesk::mqtt {

// Whether `text` is a port form the daemon can open; otherwise `reason` says why not.
bool isPortForm(const QString& text, QString* reason);
// One key for every spelling of the same port, so that controllers sharing a line share a queue.
QString canonicalPortKey(const QString& text);

class PortLine : public QObject {
    Q_OBJECT
public:
    explicit PortLine(const QString& text, QObject* parent = nullptr);

    QString spec() const { return m_text; }
    bool isOpen() const { return m_port.portOpen(); }
    // Starts opening; opened() or openFailed() follows (for a device before this returns).
    void open();
    bool write(const QByteArray& bytes) { return m_port.output(bytes); }
    // How long to wait before the next attempt after `failures` failed ones: a device path is
    // polled about once a second, so a re-plugged adapter is found quickly; a network server is
    // given a growing pause, up to five seconds.
    int retryDelayMs(int failures) const;

signals:
    void opened();
    void openFailed(const QString& reason);
    void batch(const QByteArray& bytes);
    void lost();

private:
    QString m_text;
    PortSpec m_spec;
    SerialPortControl m_port;
};

} // namespace vesk::mqtt
