// The line veskctl talks over: opened from the port the user named, with the reason when it cannot
// be opened, one write per frame, received bytes cut into batches at quiet gaps.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "core/reply.h"

namespace vesk::ctl {

// Why a port could not be opened; Opened when it could.
enum class OpenResult { Opened, Missing, Permission, Busy, Failed };

class Link : public QObject {
    Q_OBJECT
public:
    explicit Link(QObject* parent = nullptr);
    ~Link() override;

    // Opens the device at `path` (9600 8N1, no flow control). On failure `reason` holds one line
    // for the user that names the cause.
    OpenResult open(const QString& path, QString* reason);

    // Drops every byte received so far: what was waiting belongs to nobody.
    void discard();
    // Hands the whole frame to the port; false when the port refused it or failed.
    bool write(const QByteArray& frame);
    // Bytes handed over but not yet taken by the driver.
    qint64 bytesToWrite() const;

signals:
    // The line has been quiet for the quiet gap after these bytes.
    void batch(const QByteArray& bytes);
    // The port failed while open (device gone, write error).
    void failed(const QString& reason);
    // The driver has taken every byte handed to it.
    void drained();

private:
    void pull();

    QSerialPort m_port;
    QTimer m_quiet;
    QElapsedTimer m_clock;
    BatchAssembler m_batch;
    bool m_failed = false;
};

} // namespace vesk::ctl
