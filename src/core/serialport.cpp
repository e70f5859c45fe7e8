#include "serialport.h"

#include <QtGlobal>

namespace vesk {

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent) {
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(QuietGapMs);
    // The timer restarts at every arrival, so it fires once the line has been quiet for the gap.
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (m_port.isOpen() && !m_batch.isEmpty())
            emit onComm();
    });
    m_clock.start();
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortControl::handleReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortControl::handleError);
}

SerialPortControl::~SerialPortControl() {
    m_quiet.stop();
    if (m_port.isOpen())
        m_port.close();
}

QString SerialPortControl::deviceNameFor(int commPort) {
    const QByteArray override = qgetenv(QByteArray("VESKPANEL_COM") + QByteArray::number(commPort));
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(commPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
#endif
}

void SerialPortControl::setCommPort(int port) {
    if (!m_port.isOpen())
        m_commPort = port;
}

bool SerialPortControl::setPortOpen(bool open) {
    if (!open) {
        m_quiet.stop();
        m_batch.takeAll();
        if (m_port.isOpen())
            m_port.close();
        return false;
    }
    if (m_port.isOpen())
        return true;

    m_port.setPortName(deviceNameFor(m_commPort));
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // A bounded buffer keeps memory flat under line noise: reading pauses while it is full and
    // resumes once the receive handler has taken the bytes.
    m_port.setReadBufferSize(ReceiveBufferSize);

    // QSerialPort takes the lock file for the device, so a port held by another program is busy.
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_port.clearError();
        return false;
    }
    // Bytes that arrived before the port was ours belong to nobody.
    m_port.clear(QSerialPort::AllDirections);
    m_batch.takeAll();
    return true;
}

QByteArray SerialPortControl::input() {
    if (!m_port.isOpen())
        return {};
    QByteArray batch = m_batch.takeAll();
    // Bytes the full batch had no room for start the next one.
    if (m_port.bytesAvailable() > 0)
        pullReceived();
    return batch;
}

bool SerialPortControl::output(const QByteArray& bytes) {
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    // Hand the bytes to the driver now rather than at the next event-loop pass, so that the waits
    // between frames are the gaps on the wire. This does not block.
    if (m_port.isOpen())
        m_port.flush();
    return m_port.isOpen();
}

void SerialPortControl::handleReadyRead() {
    pullReceived();
}

void SerialPortControl::pullReceived() {
    // A reply written at line speed arrives one byte at a time; every arrival restarts the gap.
    m_batch.receive(m_clock.elapsed(), m_port.read(m_batch.room()));
    m_quiet.start();
}

void SerialPortControl::handleError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        // The device is gone or broken. Left open, the port would report the same error endlessly.
        if (m_port.isOpen()) {
            m_quiet.stop();
            m_batch.takeAll();
            m_port.close();
            m_port.clearError();
            emit portLost();
        }
        break;
    default:
        // Open failures are reported through setPortOpen(); modem-line requests that a device does
        // not support (UnsupportedOperationError) are harmless.
        break;
    }
}

} // namespace vesk
