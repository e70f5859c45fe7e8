#include "serialport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
// The driver's own settings block: changing one field takes two calls rather than the C
// library's four.
#include <asm/termbits.h>
#else
#include <termios.h>
#endif
#endif

#include "core/portreasons.h"

namespace vesk {

namespace {
// English texts; the consoles install a translation for them, the command-line tools none.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PortReasons)
};
} // namespace

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent) {
    qRegisterMetaType<vesk::PortError>();
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(QuietGapMs);
    // The timer restarts at every arrival, so it fires once the line has been quiet for the gap.
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (portOpen() && !m_batch.isEmpty())
            emit onComm();
    });
    m_clock.start();
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortControl::pullReceived);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortControl::handleError);

    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(TcpConnectTimeoutMs);
    // A coarse timer may fire up to 5 % early; the host gets its full 3 s.
    m_connectTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        if (m_connecting)
            fail({PortError::Reason::TimedOut,
                  Texts::tr("%1: connection timed out (no answer within %2 s)")
                      .arg(m_location->text())
                      .arg(TcpConnectTimeoutMs / 1000)});
    });
}

SerialPortControl::~SerialPortControl() {
    if (m_tcp)
        m_tcp->setEvents({});
    if (m_routed)
        m_routed->setEvents({});
    m_port.disconnect(this);
    closeAll();
}

QString canonicalPortName(const PortLocation& location) {
    if (location.kind != PortLocation::Kind::Device)
        return location.text();
    const QString real = SerialPortControl::canonicalDevice(location.path);
    return real.isEmpty() ? QFileInfo(location.path).absoluteFilePath() : real;
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

std::optional<PortLocation> SerialPortControl::locationFor(int commPort) const {
    if (const auto it = m_locations.constFind(commPort); it != m_locations.cend())
        return *it;
    return parsePortLocation(deviceNameFor(commPort));
}

void SerialPortControl::setLocationFor(int commPort, const PortLocation& location) {
    m_locations.insert(commPort, location);
}

void SerialPortControl::setCommPort(int port) {
    if (!portOpen() && !m_connecting)
        m_commPort = port;
}

bool SerialPortControl::portOpen() const {
    if (onStream())
        return m_stream->isConnected();
    return m_device != nullptr && m_device->isOpen();
}

std::optional<PortLocation> SerialPortControl::currentLocation() const {
    return (m_device || m_connecting) ? m_location : std::nullopt;
}

bool SerialPortControl::setPortOpen(bool open) {
    if (!open) {
        closeAll();
        return false;
    }
    if (portOpen())
        return true;
    QString why;
    const QString name = deviceNameFor(m_commPort);
    const std::optional<PortLocation> location =
        m_locations.contains(m_commPort) ? locationFor(m_commPort) : parsePortLocation(name, &why);
    if (!location)
        return fail({PortError::Reason::Missing, QStringLiteral("%1: %2").arg(name, why)});
    openLocation(*location);
    return portOpen();
}

bool SerialPortControl::openLocation(const PortLocation& location) {
    // What was open goes first: the route may well offer the same line again.
    closeAll();
    m_via.clear();
    if (m_route) {
        if (auto stream = m_route->offer(location, canonicalPortName(location)))
            return openStream(std::move(stream), location);
    }
    return openDirect(location);
}

bool SerialPortControl::openDirect(const PortLocation& location) {
    closeAll();
    m_via.clear();
    m_location = location;
    m_error = {};
    if (location.isTcp()) {
        startTcp(location);
        return true;
    }
    return openSerial(location);
}

bool SerialPortControl::openStream(std::unique_ptr<StreamLink> link, const PortLocation& location) {
    closeAll();
    m_via.clear();
    m_location = location;
    m_error = {};
    m_connecting = true;
    m_routed = std::move(link);
    m_stream = m_routed.get();
    watchStream(m_stream);
    m_connectTimer.start();
    if (m_stream->isConnected())
        later([this] { streamConnected(); });
    return true;
}

bool SerialPortControl::openSerial(const PortLocation& location) {
    QString device = location.path;
    if (location.kind == PortLocation::Kind::Device) {
        // One lock per device whichever of its names was given.
        device = canonicalDevice(location.path);
        if (device.isEmpty())
            return fail(missingDevice(location.path));
        // A program that locked the device under the name it was given holds it too.
        if (device != location.path) {
            if (auto held = heldUnderName(location.path, location.path))
                return fail(std::move(*held));
        }
        // So does a running process that holds its lock file. Told without asking QSerialPort,
        // whose lock taking creates and removes a file in the lock folder at every attempt once
        // the holder's lock file is old: a program trying again and again would wake everyone
        // watching that folder, itself included.
        // (A lock of this very process is left to QSerialPort, which knows its own.)
        if (auto held = heldUnderName(location.path, device);
            held && held->lockOwnerPid != QCoreApplication::applicationPid())
            return fail(std::move(*held));
    }
    m_port.setPortName(device);
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
        const PortError error = diagnoseSerialFailure(location.path, device, m_port.error());
        m_port.clearError();
        return fail(error);
    }
    // Bytes that arrived before the port was ours belong to nobody. Output is left alone: on a
    // pseudo-terminal, clearing it would also drop a frame sent just before the port was closed
    // and opened again that the other end has not taken yet.
    m_port.clear(QSerialPort::Input);
    m_device = &m_port;
    emit opened();
    return true;
}

void SerialPortControl::startTcp(const PortLocation& location) {
    m_connecting = true;
    if (!m_tcp) {
        QString why;
        m_tcp = createTcpLink(&why);
        if (!m_tcp) {
            // Reported from the event loop, as every other outcome of a tcp:// open.
            later([this, why] {
                if (m_connecting)
                    fail(
                        {PortError::Reason::Other, Texts::tr("%1: TCP ports are not available (%2)")
                                                       .arg(m_location->text(), why)});
            });
            return;
        }
        watchStream(m_tcp.get());
    }
    m_stream = m_tcp.get();
    // connectToHost() looks the name up and connects without blocking; the timer bounds the wait.
    m_tcp->connectToHost(location.host, location.tcpPort, ReceiveBufferSize);
    m_connectTimer.start();
}

void SerialPortControl::watchStream(StreamLink* link) {
    // Failures are handled from the event loop, never inside the stream's own call chain.
    link->setEvents({
        .connected =
            [this, link] {
                if (m_stream == link)
                    streamConnected();
            },
        .readyRead =
            [this, link] {
                if (m_stream == link && onStream())
                    pullReceived();
            },
        .disconnected =
            [this, link] {
                later([this, link] {
                    if (m_stream == link && onStream())
                        lose();
                });
            },
        .failed =
            [this, link](StreamLink::Failure failure) {
                later([this, link, failure] {
                    if (m_stream == link)
                        streamError(failure);
                });
            },
    });
}

void SerialPortControl::later(std::function<void()> handle) {
    QMetaObject::invokeMethod(
        this,
        [this, handle = std::move(handle), generation = m_generation] {
            if (generation == m_generation)
                handle();
        },
        Qt::QueuedConnection);
}

void SerialPortControl::streamConnected() {
    if (!m_connecting || !m_stream || !m_stream->isConnected())
        return;
    m_connecting = false;
    m_connectTimer.stop();
    m_device = m_stream->device();
    if (m_stream == m_routed.get())
        m_via = m_routed->via();
    emit opened();
}

void SerialPortControl::streamError(StreamLink::Failure failure) {
    if (onStream()) {
        // Any failure of an established connection is a dropped line.
        lose();
        return;
    }
    if (!m_connecting)
        return;
    const QString where = m_location->text();
    if (m_stream == m_routed.get() && failure == StreamLink::Failure::Gone) {
        // The program that offered the line ended before it was reached: the port is free.
        openDirect(*m_location);
        return;
    }
    if (m_stream == m_routed.get()) {
        // A routed stream says in its own words why it did not connect.
        const auto r = failure == StreamLink::Failure::Refused    ? PortError::Reason::Refused
                       : failure == StreamLink::Failure::TimedOut ? PortError::Reason::TimedOut
                       : failure == StreamLink::Failure::Busy     ? PortError::Reason::Busy
                                                                  : PortError::Reason::Other;
        fail({r, Texts::tr("%1: %2").arg(where, m_stream->errorString())});
        return;
    }
    switch (failure) {
    case TcpLink::Failure::Refused:
        fail({PortError::Reason::Refused, Texts::tr("%1: connection refused").arg(where)});
        break;
    case TcpLink::Failure::HostNotFound:
        fail({PortError::Reason::Missing, Texts::tr("%1: no such host").arg(where)});
        break;
    case TcpLink::Failure::TimedOut:
        fail({PortError::Reason::TimedOut, Texts::tr("%1: connection timed out").arg(where)});
        break;
    case TcpLink::Failure::Busy:
    case TcpLink::Failure::Gone:
    case TcpLink::Failure::Other:
        // The socket's own text is English whatever the window's language; the reason is enough.
        fail({PortError::Reason::Other, Texts::tr("%1: the connection failed").arg(where)});
        break;
    }
}

bool SerialPortControl::fail(PortError error) {
    closeAll();
    m_error = std::move(error);
    emit openFailed(m_error);
    return false;
}

void SerialPortControl::closeAll() {
    ++m_generation;
    m_quiet.stop();
    m_connectTimer.stop();
    m_batch.takeAll();
    m_expectedReply.reset();
    m_expectedHeld.clear();
    m_device = nullptr;
    m_connecting = false;
    m_answered = false;
    // QSerialPort sets the device up afresh at the next open; left as it found it all the same.
    // Whether or not that succeeds (a device already gone), the next open starts from VMIN 0 and
    // from settings read anew.
    setReadMinimum(0);
    m_readMinimum = 0;
    m_driverSettings.reset();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    if (m_tcp && !m_tcp->isIdle())
        m_tcp->abort();
    if (m_routed) {
        m_routed->setEvents({});
        m_routed->abort();
        m_retired = std::move(m_routed);
    }
    m_stream = nullptr;
}

void SerialPortControl::lose() {
    if (!m_device)
        return;
    // Left open, a broken port would report the same error endlessly.
    closeAll();
    emit portLost();
}

QString SerialPortControl::lockFilePathFor(const QString& devicePath) {
    return serialLockFilePath(canonicalDevice(devicePath));
}

QString SerialPortControl::canonicalDevice(const QString& path) {
#ifdef Q_OS_WIN
    return path;
#else
    return QFileInfo(path).canonicalFilePath();
#endif
}

QByteArray SerialPortControl::input() {
    if (!portOpen())
        return {};
    QByteArray batch = m_batch.takeAll();
    // Bytes the full batch had no room for start the next one.
    if (m_device->bytesAvailable() > 0)
        pullReceived();
    if (!batch.isEmpty())
        emit taken(batch);
    return batch;
}

bool SerialPortControl::output(const QByteArray& bytes) {
    if (!portOpen())
        return false;
#ifdef Q_OS_UNIX
    // Straight to the device while nothing waits before it: handed to QSerialPort, a frame first
    // makes it watch the descriptor for room, and the event loop wakes once more for every frame
    // to stop watching. Only what the driver does not take now goes the usual way.
    if (m_device == &m_port && m_port.bytesToWrite() == 0) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_port.handle(), bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                lose();
                return false;
            }
            if (n <= 0)
                break;
            done += n;
        }
        if (done < bytes.size() &&
            m_port.write(bytes.constData() + done, bytes.size() - done) != bytes.size() - done)
            return false;
        emit written(bytes);
        if (done < bytes.size())
            m_port.flush();
        return portOpen();
    }
#endif
    if (m_device->write(bytes) != bytes.size())
        return false;
    emit written(bytes);
    // Hand the bytes to the driver now rather than at the next event-loop pass, so that the waits
    // between frames are the gaps on the wire. This does not block.
    if (m_device == &m_port)
        m_port.flush();
    else
        m_stream->flush();
    return portOpen();
}

void SerialPortControl::expectStatusReply(std::optional<quint8> address, const QByteArray& held) {
    m_expectedReply = address;
    m_expectedHeld = held;
    updateReadMinimum();
}

bool SerialPortControl::stopExpecting() {
    const bool heldBack = m_readMinimum > 0;
    expectStatusReply(std::nullopt);
#ifdef Q_OS_UNIX
    int waiting = 0;
    if (!heldBack || m_device != &m_port || ::ioctl(m_port.handle(), FIONREAD, &waiting) != 0 ||
        waiting <= 0)
        return false;
    // Readable now that the driver gathers nothing: QSerialPort reads them at once and
    // pullReceived() moves them into the batch.
    const qsizetype before = m_batch.pending().size();
    m_port.waitForReadyRead(0);
    return m_batch.pending().size() > before;
#else
    return false;
#endif
}

void SerialPortControl::updateReadMinimum() {
    int wanted = 0;
    if (m_expectedReply && m_device == &m_port) {
        const qsizetype missing =
            StatusReplyLength - m_expectedHeld.size() - m_batch.pending().size();
        // A single byte is what makes the device readable anyway.
        if (missing > 1)
            wanted = int(missing);
    }
    setReadMinimum(wanted);
}

// The driver's settings of the open device, as the system's own structure.
struct SerialPortControl::DriverSettings {
#ifdef Q_OS_UNIX
    termios values{};
#endif
};

void SerialPortControl::setReadMinimum(int bytes) {
#ifdef Q_OS_UNIX
    if (bytes == m_readMinimum || !m_port.isOpen())
        return;
    // Without an inter-byte timer (VTIME 0) the driver reports the device readable only once VMIN
    // bytes are there; a read, which never blocks here, still returns whatever is there. Where
    // a system reports it readable at the first byte all the same, bytes come as before.
    // The settings are read once per open and only VMIN and VTIME change: a reply costs one
    // call to the driver to gather it and one to stop, not four.
    const int fd = m_port.handle();
    if (!m_driverSettings) {
        auto read = std::make_unique<DriverSettings>();
#ifdef Q_OS_LINUX
        if (::ioctl(fd, TCGETS, &read->values) != 0)
#else
        if (::tcgetattr(fd, &read->values) != 0)
#endif
            return;
        m_driverSettings = std::move(read);
    }
    termios& settings = m_driverSettings->values;
    settings.c_cc[VMIN] = cc_t(bytes);
    settings.c_cc[VTIME] = 0;
#ifdef Q_OS_LINUX
    const bool set = ::ioctl(fd, TCSETS, &settings) == 0;
#else
    const bool set = ::tcsetattr(fd, TCSANOW, &settings) == 0;
#endif
    if (set)
        m_readMinimum = bytes;
#else
    Q_UNUSED(bytes);
#endif
}

void SerialPortControl::pullReceived() {
    if (!m_device)
        return;
    // A reply written at line speed arrives one byte at a time (over TCP in chunks of any size);
    // every arrival restarts the gap.
    const QByteArray bytes = m_device->read(m_batch.room());
    m_batch.receive(m_clock.elapsed(), bytes);
    m_quiet.start();
    // A device server that admits one client answers any other with a line of text and closes
    // (ser2net: "Port already in use"): the device is busy, not gone. A controller never sends it.
    if (onStream() && m_stream == m_tcp.get() && m_batch.pending().startsWith(ServerBusyText)) {
        m_error = {
            PortError::Reason::Busy,
            Texts::tr("%1: busy, the server is serving another client").arg(m_location->text())};
        m_batch.takeAll();
        m_quiet.stop();
        // Closed from the event loop, outside the socket's own call chain.
        later([this] { lose(); });
        return;
    }
    if (!bytes.isEmpty() && !m_answered) {
        m_answered = true;
        emit answered();
    }
    const QByteArrayView pending = m_batch.pending();
    if (m_expectedReply &&
        (m_expectedHeld.isEmpty()
             ? isStatusReplyFrom(pending, *m_expectedReply)
             : isStatusReplyFrom(m_expectedHeld + pending.toByteArray(), *m_expectedReply))) {
        m_expectedReply.reset();
        updateReadMinimum();
        m_quiet.stop();
        emit onComm();
    } else if (m_expectedReply) {
        updateReadMinimum();
    }
}

void SerialPortControl::handleError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        // The device is gone or broken.
        if (m_device == &m_port)
            lose();
        break;
    default:
        // Open failures are reported through openLocation(); modem-line requests that a device does
        // not support (UnsupportedOperationError) are harmless.
        break;
    }
}

} // namespace vesk
