// The module that carries the network library: a TcpLink on a QTcpSocket, a LocalLink on a
// QLocalSocket.
#include <QLocalServer>
#include <QLocalSocket>
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

class SocketLocalLink final : public LocalLink {
public:
    explicit SocketLocalLink(QLocalSocket* accepted = nullptr)
        : m_owned(accepted ? accepted : new QLocalSocket), m_socket(*m_owned) {
        m_socket.setParent(nullptr);
        QObject::connect(&m_socket, &QLocalSocket::readyRead, &m_socket, [this] {
            if (m_events.readyRead)
                m_events.readyRead();
        });
        QObject::connect(&m_socket, &QLocalSocket::disconnected, &m_socket, [this] {
            if (m_events.disconnected)
                m_events.disconnected();
        });
        QObject::connect(&m_socket, &QLocalSocket::connected, &m_socket, [this] {
            if (m_events.connected)
                m_events.connected();
        });
        QObject::connect(&m_socket, &QLocalSocket::errorOccurred, &m_socket, [this] {
            if (m_events.failed)
                m_events.failed(Failure::Other);
        });
    }
    ~SocketLocalLink() override { m_socket.disconnect(); }

    void setEvents(Events events) override { m_events = std::move(events); }
    void connectTo(const QString& name, qint64 readBufferSize) override {
        m_socket.setReadBufferSize(readBufferSize);
        m_socket.connectToServer(name);
    }
    Outcome outcome() const override {
        switch (m_socket.error()) {
        case QLocalSocket::UnknownSocketError:
            return Outcome::Connected;
        case QLocalSocket::ServerNotFoundError:
            return Outcome::Missing;
        case QLocalSocket::ConnectionRefusedError:
            return Outcome::Refused;
        case QLocalSocket::PeerClosedError:
            return Outcome::Closed;
        case QLocalSocket::SocketAccessError:
            return Outcome::Permission;
        case QLocalSocket::SocketTimeoutError:
            return Outcome::TimedOut;
        default:
            return Outcome::Other;
        }
    }
    QByteArray readLine(int maxBytes) override {
        return m_socket.canReadLine() ? m_socket.readLine(maxBytes + 1) : QByteArray();
    }
    qint64 bytesAvailable() const override { return m_socket.bytesAvailable(); }
    bool isConnected() const override { return m_socket.state() == QLocalSocket::ConnectedState; }
    bool isIdle() const override { return m_socket.state() == QLocalSocket::UnconnectedState; }
    QIODevice* device() override { return &m_socket; }
    qintptr descriptor() const override { return m_socket.socketDescriptor(); }
    void flush() override { m_socket.flush(); }
    void abort() override { m_socket.abort(); }
    QString errorString() const override { return m_socket.errorString(); }

private:
    std::unique_ptr<QLocalSocket> m_owned;
    QLocalSocket& m_socket;
    Events m_events;
};

class SocketListener final : public LocalListener {
public:
    bool listen(const QString& name, qint64 readBufferSize,
                std::function<void(std::unique_ptr<LocalLink>)> accepted, QString* why) override {
        // The mode is set before the socket appears under its name: no moment open to everyone.
        m_server.setSocketOptions(QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption);
        QLocalServer::removeServer(name);
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server,
                         [this, readBufferSize, accepted = std::move(accepted)] {
                             while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                                 socket->setReadBufferSize(readBufferSize);
                                 accepted(std::make_unique<SocketLocalLink>(socket));
                             }
                         });
        if (m_server.listen(name))
            return true;
        *why = m_server.errorString();
        return false;
    }
    void close() override { m_server.close(); }

private:
    QLocalServer m_server;
};

} // namespace

class TcpModule : public QObject, public TcpLinkFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VESK_TCPLINK_IID)
    Q_INTERFACES(vesk::TcpLinkFactory)
public:
    std::unique_ptr<TcpLink> create() override { return std::make_unique<SocketLink>(); }
    std::unique_ptr<LocalLink> createLocal() override {
        return std::make_unique<SocketLocalLink>();
    }
    std::unique_ptr<LocalListener> createListener() override {
        return std::make_unique<SocketListener>();
    }
};

} // namespace vesk

#include "tcpmodule.moc"
