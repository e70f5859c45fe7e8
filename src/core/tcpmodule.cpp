// The module that carries the network library: a TcpLink on a QTcpSocket.
#include <QObject>
#include <QTcpSocket>

#include "core/tcplink.h"

namespace vesk {
namespace {

class SocketLink final : public TcpLink {
public:
    SocketLink() {
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] {
            // Frames are a few bytes each and their timing matters: no Nagle delay.
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            if (m_events.connected)
                m_events.connected();
        });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
            if (m_events.readyRead)
                m_events.readyRead();
        });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] {
            if (m_events.disconnected)
                m_events.disconnected();
        });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket,
                         [this](QAbstractSocket::SocketError error) {
                             if (m_events.failed)
                                 m_events.failed(failure(error));
                         });
    }
    ~SocketLink() override { m_socket.disconnect(); }

    void setEvents(Events events) override { m_events = std::move(events); }
    void connectToHost(const QString& host, quint16 port, qint64 readBufferSize) override {
        m_socket.setReadBufferSize(readBufferSize);
        m_socket.connectToHost(host, port);
    }
    bool isConnected() const override {
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }
    bool isIdle() const override { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    QIODevice* device() override { return &m_socket; }
    void flush() override { m_socket.flush(); }
    void abort() override { m_socket.abort(); }
    QString errorString() const override { return m_socket.errorString(); }

private:
    static Failure failure(QAbstractSocket::SocketError error) {
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return Failure::Refused;
        case QAbstractSocket::HostNotFoundError:
            return Failure::HostNotFound;
        case QAbstractSocket::SocketTimeoutError:
            return Failure::TimedOut;
        default:
            return Failure::Other;
        }
    }

    QTcpSocket m_socket;
    Events m_events;
};

} // namespace

class TcpModule : public QObject, public TcpLinkFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VESK_TCPLINK_IID)
    Q_INTERFACES(vesk::TcpLinkFactory)
public:
    std::unique_ptr<TcpLink> create() override { return std::make_unique<SocketLink>(); }
};

} // namespace vesk

#include "tcpmodule.moc"
