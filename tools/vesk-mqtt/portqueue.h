// The queue of one serial line, shared by every controller on it (an RS-485 bus carries several
// addresses). The line is half-duplex: one frame is written at a time, and none while a status
// reply is due (until the reply arrives or its timeout passes).
//
// Commands go first, in the order they were submitted; a command still waiting when a newer one
// for the same controller and target arrives is replaced by it (the latest intent wins, and a flood
// of messages does not become minutes of switching). The line's spare time goes to status polls:
// each controller is asked at its interval, the one whose poll is most overdue first, so that a
// line asked for more than it can carry is shared evenly. A controller that stops answering is
// asked less and less often, up to once a minute, and at its interval again once it answers.
//
// A status reply is taken at its sixth byte (a reply cut by a pause is joined again); the next
// frame follows after the turnaround. After a reply that does not come or is garbled, the line is
// left quiet for the gap first.
//
// The queue also owns the line: it opens the port and reports it open or closed; the line tries
// again by itself after a failure or an unplug.
#pragma once

#include "core/line.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace vesk::mqtt {

class PortQueue : public QObject {
    Q_OBJECT
public:
    // Longest wait for a status reply beyond the time the query and the reply take on the wire at
    // 9600 bit/s: the controller answers within a few milliseconds, and a USB adapter may hold
    // received bytes for up to 16 ms. A device server adds its network's round trip.
    static constexpr int ReplyAllowanceMs = 50;
    static constexpr int NetworkReplyAllowanceMs = 250;
    // Time a device may need to release the line after the last byte of its reply.
    static constexpr int TurnaroundMs = 1;
    // Unanswered polls in a row at the normal interval; after them the wait grows fourfold from
    // BackoffStartMs up to BackoffMaxMs (never below the interval). One miss may be noise on the
    // line; a second one in a row starts the back-off, so that a rack that lost power does not
    // hold up the controllers still answering.
    static constexpr int MissesBeforeBackoff = 1;
    static constexpr int BackoffStartMs = 2000;
    static constexpr int BackoffMaxMs = 60000;
    // A port lost sooner than this after it opened is hanging up: reported once, then summed up
    // once a minute.
    static constexpr int StableOpenMs = 10000;
    static constexpr int SummaryMs = 60000;

    // Called with the reply, or nullopt when none came in time or the reply was garbled.
    using ReplyHandler = std::function<void(std::optional<QByteArray>)>;

    explicit PortQueue(const PortLocation& location, QObject* parent = nullptr);

    QString location() const { return m_location.text(); }
    bool isOpen() const { return m_line.isOpen(); }
    SerialPortControl& port() { return m_line.port(); }
    // First attempt to open the line; later attempts follow by themselves.
    void start();

    // Polls the controller `name` at `address` every `intervalMs` while the line is open.
    void addPoller(const void* owner, const QString& name, quint8 address, int intervalMs,
                   ReplyHandler handler);
    void removePoller(const void* owner);
    // One status query of `owner` ahead of the regular polls (to confirm a switch).
    void pollSoon(const void* owner);
    // Status queries of `owner` in a row that got no reply since the line opened: the one count
    // behind both the back-off (after MissesBeforeBackoff) and the controller's going offline
    // (from MissesBeforeSilent on).
    int missedInRow(const void* owner) const;
    // Whether a query of `owner` has been written and its reply is due.
    bool isAwaitingReply(const void* owner) const { return m_awaiting && m_awaiting == owner; }

    // What becomes of a share client's frame: what the line answers, handed on as it arrives, and
    // `finished` once the line is free for the client's next frame.
    using ClientHandler = std::function<void(const QByteArray& bytes, bool finished)>;
    // Queues a share client's frame behind the commands already waiting, ahead of the polls;
    // while a client floods the line, every second turn still goes to a poll that is due. With
    // `replyFrom` the line is kept for the answer: the status reply of that address ends the wait
    // at its sixth byte, and to the broadcast address every answer within a poll's wait is the
    // client's. False while the line is closed.
    // `written` runs once the frame has been written.
    bool submitClientFrame(const QByteArray& frame, const void* owner,
                           std::optional<quint8> replyFrom, ClientHandler handler,
                           std::function<void()> written);
    // Forgets what `owner` (a client that left) still has queued or awaited.
    void forget(const void* owner);
    // The controllers at `address` (every one for the broadcast address) are asked soon.
    void pollAddressSoon(quint8 address);

    // Queues a frame that needs no reply. `target` tells which commands of `owner` replace each
    // other while waiting; `what` names the command in the log; `written` runs once the frame has
    // been written (not for a frame that a newer one replaced). False while the line is closed.
    bool submit(const QByteArray& frame, const void* owner, int target, const QString& what,
                std::function<void()> written = {});

signals:
    void opened();
    void closed();

private:
    struct Command {
        QByteArray frame;
        const void* owner = nullptr;
        int target = 0;
        QString what;
        std::function<void()> written;
        int superseded = 0; // older commands this one replaced
        bool client = false;
        std::optional<quint8> replyFrom;
        ClientHandler handler;
    };
    struct Poller {
        const void* owner = nullptr;
        QString name;
        quint8 address = 0;
        int intervalMs = 0;
        ReplyHandler handler;
        qint64 dueMs = 0;
        bool soon = false;
        int missed = 0;
    };

    void pump();
    // Writes a command; false when the line broke under the write.
    void writeCommand(Command command);
    void finishClient();
    Poller* nextPoll();
    Poller* poller(const void* owner);
    void finishReply(std::optional<QByteArray> reply);
    void onBatch(const QByteArray& bytes);
    void onReply(ReplyJoiner::Outcome outcome, const QByteArray& bytes);
    void onOpened();
    void onLost();
    void summarise();
    // "port /dev/ttyUSB0 (rack1, rack2)": every port log line names its controllers.
    QString portName() const;

    PortLocation m_location;
    Line m_line;
    std::deque<Command> m_commands;
    std::vector<Poller> m_pollers;
    const void* m_awaiting = nullptr; // the poller whose reply is due
    ClientHandler m_client;           // the share client whose answer is due
    std::optional<quint8> m_clientFrom;
    bool m_pollOwed = false; // a client frame went last: a due poll goes next
    qint64 m_writtenMs = 0;  // when the awaited query was written
    QTimer m_busy;           // a frame is leaving, a reply is due, or the line settles
    QTimer m_due;            // the next poll falls due
    QElapsedTimer m_clock;
    QString m_lastReason;
    QElapsedTimer m_openSince;
    bool m_hangingUp = false; // the port keeps hanging up soon after opening
    int m_hangUps = 0;        // since the last summary line
    QTimer m_summary;
};

} // namespace vesk::mqtt
