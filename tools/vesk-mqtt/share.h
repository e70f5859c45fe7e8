// The share of one line: while the line is open, other programs on this machine (veskctl, the
// consoles, lab tools) reach it through a local socket instead of finding it busy. See
// core/share.h for how they find it and the greeting that opens each connection.
//
// A client writes whole frames, exactly as to the device. Each frame is checked before it goes
// anywhere: a command frame must end in its checksum, a parameter frame in its end byte. A client
// that sends anything else (garbage, a wrong checksum, a frame that stops half-way) is closed
// with one log line naming it; nothing of it reaches the line. Each client has one frame in the
// line's queue at a time, ahead of the polls; the reply to a status query goes to the client that
// asked, and only to it. After a switching or settings frame the controller it addressed is read
// at once, so that the published states follow.
//
// The socket is open to the device's owner and group (mode 0660), as the device is.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace vesk {
class FrameJournal;
class LocalLink;
class LocalListener;
} // namespace vesk

namespace vesk::mqtt {

class PortQueue;

class LineShare : public QObject {
    Q_OBJECT
public:
    // A frame must be complete this long after its first byte arrived.
    static constexpr int FrameTimeoutMs = 1000;
    // Clients served at once; a further one is refused with a reason.
    static constexpr int MaxClients = 32;

    // Serves `queue`'s line whenever it is open; `journal` (optional) names each client's frames.
    LineShare(PortQueue& queue, FrameJournal* journal, QObject* parent = nullptr);
    ~LineShare() override;

    // Closes every client and stops serving (the daemon is stopping).
    void close();
    // Clients connected now.
    int clients() const { return int(m_clients.size()); }

private:
    struct Client;

    void publish();
    void withdraw();
    void accept(std::unique_ptr<LocalLink> link);
    void serve(Client* client);
    void drop(Client* client, const QString& why);
    void submit(Client* client, const QByteArray& frame);

    PortQueue& m_queue;
    FrameJournal* m_journal;
    std::unique_ptr<LocalListener> m_server;
    QString m_port;    // the canonical port, as the greeting names it
    QString m_pointer; // the file that names the socket, while serving
    std::vector<std::unique_ptr<Client>> m_clients;
    bool m_closed = false;
};

} // namespace vesk::mqtt
