#include "share.h"

#include "log.h"
#include "portqueue.h"

#include "core/frames.h"
#include "core/journal.h"
#include "core/share.h"
#include "core/tcplink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vesk::mqtt {

namespace {

// Bytes of one client held before they are cut into frames (a frame is at most 261 bytes). Read
// ahead of the line, so that a client that leaves is seen at once and what it left unsent is
// dropped, not written for many seconds after it was stopped.
constexpr qint64 ClientBuffer = 64 * 1024;

struct Peer {
    qint64 pid = 0;
    QString program = QStringLiteral("?");
    QString user = QStringLiteral("?");
};

// Who is on the other end, as the kernel tells (not as the client claims).
Peer peerOf(const LocalLink& link) {
    Peer peer;
#ifdef Q_OS_LINUX
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(int(link.descriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
        return peer;
    peer.pid = cred.pid;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(cred.pid));
    if (comm.open(QIODevice::ReadOnly))
        peer.program = QString::fromLocal8Bit(comm.readAll().trimmed());
    if (const passwd* entry = ::getpwuid(cred.uid); entry && entry->pw_name)
        peer.user = QString::fromLocal8Bit(entry->pw_name);
    else
        peer.user = QString::number(cred.uid);
#else
    Q_UNUSED(link)
#endif
    return peer;
}

// Where the socket goes: the daemon's runtime folder under systemd, otherwise beside the file
// that names it.
QString socketPath(const QString& port) {
    const QString runtime =
        qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    const QString fallback = share::defaultSocketPath(port);
    if (runtime.isEmpty() || fallback.isEmpty())
        return fallback;
    return QDir(runtime).filePath(QFileInfo(fallback).fileName());
}

// Whether the frame changes what the controller reports: switching and settings.
bool changesStates(const QByteArray& frame) {
    const auto command = quint8(frame.at(3));
    return command == Cmd::SwitchChannel || command == Cmd::TimedSwitch ||
           command == Cmd::ParameterWrite;
}

} // namespace

struct LineShare::Client {
    std::unique_ptr<LocalLink> socket;
    Peer peer;
    QByteArray pending;
    QElapsedTimer frameStarted; // valid while a frame is incomplete
    QTimer frameTimer;
    bool inQueue = false;

    QString name() const {
        return QStringLiteral("%1 (process %2, user %3)")
            .arg(peer.program)
            .arg(peer.pid)
            .arg(peer.user);
    }
};

LineShare::LineShare(PortQueue& queue, FrameJournal* journal, QObject* parent)
    : QObject(parent), m_queue(queue), m_journal(journal) {
    connect(&m_queue, &PortQueue::opened, this, &LineShare::publish);
    connect(&m_queue, &PortQueue::closed, this, [this] {
        // The clients' frames are gone with the line: they learn it from the closed connection.
        while (!m_clients.empty())
            drop(m_clients.front().get(), QStringLiteral("the line was lost"));
        withdraw();
    });
}

LineShare::~LineShare() {
    close();
}

void LineShare::close() {
    m_closed = true;
    while (!m_clients.empty()) {
        Client* client = m_clients.front().get();
        m_queue.forget(client);
        client->socket->setEvents({});
        client->socket->abort();
        m_clients.erase(m_clients.begin());
    }
    withdraw();
}

void LineShare::publish() {
    if (m_closed || !m_queue.port().currentLocation())
        return;
    withdraw();
    m_port = canonicalPortName(*m_queue.port().currentLocation());
    QString why;
    std::unique_ptr<LocalListener> server = createLocalListener(&why);
    if (!server) {
        logLine(QStringLiteral("share of %1: %2; not shared").arg(m_port, why));
        return;
    }
#ifdef Q_OS_WIN
    const QString name = share::pipeName(m_port);
#else
    const QString name = socketPath(m_port);
    const QString pointer = share::pointerPath(m_port);
    if (name.isEmpty() || pointer.isEmpty()) {
        logLine(QStringLiteral("share of %1: no folder to put it in; not shared").arg(m_port));
        return;
    }
#endif
    const auto accepted = [this](std::unique_ptr<LocalLink> link) { accept(std::move(link)); };
    if (!server->listen(name, ClientBuffer, accepted, &why)) {
        logLine(QStringLiteral("share of %1: cannot listen on %2: %3; not shared")
                    .arg(m_port, name, why));
        return;
    }
#ifdef Q_OS_UNIX
    // Who may open the device may use its share: the device's group. A tcp:// line keeps the
    // daemon's own group.
    // Read and write for owner and group: all that connecting takes.
    ::chmod(QFile::encodeName(name).constData(), 0660);
    struct stat device {};
    if (!m_port.startsWith(QLatin1String("tcp://")) &&
        ::stat(QFile::encodeName(m_port).constData(), &device) == 0 &&
        ::chown(QFile::encodeName(name).constData(), uid_t(-1), device.st_gid) != 0)
        logLine(QStringLiteral("share of %1: cannot give %2 the device's group (%3); only "
                               "this user can use it")
                    .arg(m_port, name, QString::fromLocal8Bit(std::strerror(errno))));
    QSaveFile file(pointer);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(share::pointerText({name, QCoreApplication::applicationPid()})) < 0 ||
        !file.commit()) {
        logLine(QStringLiteral("share of %1: cannot write %2: %3; not shared")
                    .arg(m_port, pointer, file.errorString()));
        return;
    }
    QFile::setPermissions(pointer, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                       QFile::ReadOther);
    m_pointer = pointer;
#endif
    m_server = std::move(server);
    logLine(QStringLiteral("share of %1: serving on %2").arg(m_port, name));
}

void LineShare::withdraw() {
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
    if (m_pointer.isEmpty())
        return;
    // Removed only while it still names this daemon: a newer one may have taken the port over.
    const auto current = share::readPointer(m_port);
    if (current && current->pid == QCoreApplication::applicationPid())
        QFile::remove(m_pointer);
    m_pointer.clear();
}

void LineShare::accept(std::unique_ptr<LocalLink> link) {
    auto client = std::make_unique<Client>();
    client->peer = peerOf(*link);
    client->socket = std::move(link);
    share::Greeting greeting{
        QCoreApplication::applicationName(), QCoreApplication::applicationPid(), m_port, {}};
    if (!m_queue.isOpen())
        greeting.refusal = QStringLiteral("the line is not open");
    else if (int(m_clients.size()) >= MaxClients)
        greeting.refusal = QStringLiteral("%1 clients are served already").arg(MaxClients);
    client->socket->device()->write(share::greetingLine(greeting));
    client->socket->flush();
    if (!greeting.refusal.isEmpty()) {
        // The line is with the system once flushed; the client reads it before the close.
        logLine(QStringLiteral("share of %1: %2 refused: %3")
                    .arg(m_port, client->name(), greeting.refusal));
        client->socket->abort();
        return;
    }
    logDetail(QStringLiteral("share of %1: %2 connected").arg(m_port, client->name()));
    Client* c = client.get();
    c->frameTimer.setSingleShot(true);
    connect(&c->frameTimer, &QTimer::timeout, this,
            [this, c] { drop(c, QStringLiteral("sent half a frame and stopped; closed")); });
    c->socket->setEvents({
        .connected = {},
        .readyRead = [this, c] { serve(c); },
        .disconnected =
            [this, c] {
                // What it sent and is not yet on the line goes with it: a half frame never, and
                // nothing more of a program that was stopped.
                c->pending += c->socket->device()->readAll();
                const bool midFrame =
                    cutFrame(c->pending).kind == FrameCut::Kind::Partial && !c->pending.isEmpty();
                const qsizetype unsent = c->pending.size();
                QTimer::singleShot(0, this, [this, c, midFrame, unsent] {
                    if (midFrame)
                        drop(c, QStringLiteral("left in the middle of a frame; nothing of it was "
                                               "written"));
                    else if (unsent > 0)
                        drop(c, QStringLiteral("left; %1 byte(s) it sent were not written")
                                    .arg(unsent));
                    else
                        drop(c, {});
                });
            },
        .failed = {},
    });
    m_clients.push_back(std::move(client));
}

void LineShare::serve(Client* client) {
    // One frame of a client in the queue at a time: the rest waits in the socket, so that a
    // client that floods the line slows down itself, not the others.
    while (!client->inQueue) {
        client->pending += client->socket->device()->read(ClientBuffer - client->pending.size());
        if (client->pending.isEmpty())
            return;
        const FrameCut cut = cutFrame(client->pending);
        if (cut.kind == FrameCut::Kind::Invalid) {
            drop(client,
                 QStringLiteral("sent %1 (%2); closed")
                     .arg(QLatin1String(cut.why),
                          hexText(QByteArrayView(client->pending)
                                      .first(std::min<qsizetype>(client->pending.size(), 12)))
                              .trimmed()));
            return;
        }
        if (cut.kind == FrameCut::Kind::Partial) {
            if (!client->frameStarted.isValid()) {
                client->frameStarted.start();
                client->frameTimer.start(FrameTimeoutMs);
            }
            return;
        }
        client->frameStarted.invalidate();
        client->frameTimer.stop();
        const QByteArray frame = client->pending.first(cut.length);
        client->pending.remove(0, cut.length);
        submit(client, frame);
    }
}

void LineShare::submit(Client* client, const QByteArray& frame) {
    const auto address = quint8(frame.at(2));
    const bool query = quint8(frame.at(3)) == Cmd::StatusQuery;
    const std::optional<quint8> replyFrom = query ? std::optional(address) : std::nullopt;
    client->inQueue = true;
    // The client may be gone by the time its frame is written or answered.
    const auto handler = [this, client, frame, address](const QByteArray& bytes, bool finished) {
        const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                     [client](const auto& c) { return c.get() == client; });
        if (it == m_clients.end())
            return;
        if (!bytes.isEmpty())
            client->socket->device()->write(bytes);
        if (!finished)
            return;
        client->socket->flush();
        client->inQueue = false;
        if (changesStates(frame)) {
            // Read the controller at once, after the moment it needs to switch.
            QTimer::singleShot(PortQueue::TurnaroundMs + 20, this,
                               [this, address] { m_queue.pollAddressSoon(address); });
        }
        // What the client sent meanwhile.
        QTimer::singleShot(0, this, [this, client] {
            if (std::any_of(m_clients.begin(), m_clients.end(),
                            [client](const auto& c) { return c.get() == client; }))
                serve(client);
        });
    };
    // Who asked for it, as the system names the client's process.
    const auto journal = [this, frame, peer = client->peer] {
        if (m_journal)
            m_journal->record(FrameJournal::portName(m_queue.port()), true, frame,
                              {{QStringLiteral("via"), QStringLiteral("share")},
                               {QStringLiteral("client"), peer.program},
                               {QStringLiteral("client_pid"), peer.pid},
                               {QStringLiteral("client_user"), peer.user}});
    };
    if (!m_queue.submitClientFrame(frame, client, replyFrom, handler, journal))
        drop(client, QStringLiteral("the line is not open"));
}

void LineShare::drop(Client* client, const QString& why) {
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [client](const auto& c) { return c.get() == client; });
    if (it == m_clients.end())
        return;
    // A whole frame it sent before is still written, as a device would have received it.
    if (why.isEmpty())
        logDetail(QStringLiteral("share of %1: %2 left").arg(m_port, client->name()));
    else
        logLine(QStringLiteral("share of %1: %2 %3").arg(m_port, client->name(), why));
    std::unique_ptr<Client> owned = std::move(*it);
    m_clients.erase(it);
    owned->socket->setEvents({});
    owned->frameTimer.stop();
    owned->socket->abort();
    // Deleted from the event loop: this may run inside one of its socket's or timer's signals.
    QTimer::singleShot(0, this, [gone = std::shared_ptr<Client>(std::move(owned))] {});
}

} // namespace vesk::mqtt
