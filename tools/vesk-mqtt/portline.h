// One serial line of the daemon, named by its port form: a device path (/dev/ttyUSB0) or COMn.
// Opens it with a reason on failure, delivers the received bytes as quiet-gap batches and reports
// an unplugged adapter.
#pragma once

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
    explicit PortLine(const QString& spec, QObject* parent = nullptr);

    QString spec() const { return m_spec; }
    bool isOpen() const { return m_port.portOpen(); }
    // Opens the line; on failure `reason` says why (missing, busy, no permission).
    bool open(QString* reason);
    void close() { m_port.setPortOpen(false); }
    bool write(const QByteArray& bytes) { return m_port.output(bytes); }
    // How long the next open attempt should wait after a failure: a device path is polled about
    // once a second, so a re-plugged adapter is found quickly.
    int retryDelayMs(int failures) const;

signals:
    void batch(const QByteArray& bytes);
    void lost();

private:
    QString m_spec;
    SerialPortControl m_port;
};

} // namespace vesk::mqtt
