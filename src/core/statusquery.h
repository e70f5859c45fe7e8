// The status query: asks the controller for its channel states, on request, every two seconds
// while automatic querying is on, at start-up and after every switching operation. It also keeps
// whether the controller answers: a query that no valid status reply follows within its wait
// leaves the controller silent until the next valid reply.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include "core/task.h"

namespace vesk {

class DeviceLink;

class StatusQuery : public QObject {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 2000;
    // How long after its second frame a query waits for a valid status reply. A controller
    // answers within a few tens of milliseconds; a reply that comes later still counts when it
    // arrives.
    static constexpr int ReplyWaitMs = 500;

    explicit StatusQuery(DeviceLink& link, QObject* parent = nullptr);

    const QTimer& Timer2() const { return m_timer2; }
    QTimer& Timer2() { return m_timer2; }
    // Starts or stops the two-second polling.
    void setAutomatic(bool on);

    // Does nothing while the port is closed; otherwise writes the query twice, 100 ms apart.
    // Yields false when the program is closing.
    Task<bool> run();

    // A valid status reply arrived (from the receive handler): the controller is not silent.
    void answered();
    // The last query had no valid reply within its wait.
    bool silent() const { return m_silent; }
    // When the last valid reply arrived since the port opened (null when none has).
    QDateTime lastAnswer() const { return m_lastAnswer; }
    // While silent, what is known, for the port's tooltip and the lamps' description ("last answer
    // 10:42:07, none since"); empty otherwise.
    QString silenceText() const;

signals:
    // silent() or lastAnswer() changed.
    void answerChanged();

private:
    void replyWaitOver();

    DeviceLink& m_link;
    QTimer m_timer2;
    QTimer m_replyWait;
    bool m_repliedSinceQuery = false;
    bool m_silent = false;
    QDateTime m_lastAnswer;
};

} // namespace vesk
