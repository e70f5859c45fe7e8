// The window's serial port: fixed line settings, ports COM1..COM4 mapped to device names, one
// receive notification per burst of bytes, and a broken port closed at its first fault.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "core/reply.h"

namespace vesk {

class SerialPortControl : public QObject {
    Q_OBJECT
public:
    // The line has to stay quiet this long before received bytes are handed on as one batch: longer
    // than 3.5 character times at 9600 bit/s, and long enough to join the chunks a USB adapter
    // delivers.
    static constexpr int QuietGapMs = 20;
    static constexpr int ReceiveBufferSize = 1024;

    explicit SerialPortControl(QObject* parent = nullptr);
    ~SerialPortControl() override;

    // Device name of COMn: $VESKPANEL_COMn when set, otherwise the platform's name for port n.
    static QString deviceNameFor(int commPort);

    int commPort() const { return m_commPort; }
    // Takes effect at the next open; ignored while the port is open.
    void setCommPort(int port);

    bool portOpen() const { return m_port.isOpen(); }
    // Opens (true) or closes (false). Opening fails for a missing, busy or inaccessible port and
    // leaves it closed; closing a closed port does nothing. Returns whether the port is open
    // afterwards.
    bool setPortOpen(bool open);

    // The batch received so far (at most ReceiveBufferSize bytes, in arrival order) and empties
    // it; bytes beyond it follow as the next batch. Empty when the port is closed.
    QByteArray input();
    // Hands the bytes to the port in one call and pushes them towards the line without waiting.
    // Returns false (and writes nothing) when the port is closed or broken.
    bool output(const QByteArray& bytes);

signals:
    // Bytes are waiting and the line has been quiet for QuietGapMs.
    void onComm();
    // The open port failed (adapter unplugged, device gone) and has been closed.
    void portLost();

private:
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    // Moves what the driver holds into the batch, as far as it has room, and restarts the gap.
    void pullReceived();

    QSerialPort m_port;
    QTimer m_quiet;
    QElapsedTimer m_clock;
    BatchAssembler m_batch{QuietGapMs, ReceiveBufferSize};
    int m_commPort = 1;
};

} // namespace vesk
