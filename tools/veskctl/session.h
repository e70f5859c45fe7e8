// Runs one request over an open link: its frames one at a time, then the query or read-back.
#pragma once

#include <QObject>
#include <QString>

#include "core/task.h"

namespace vesk {
class Line;
}

namespace vesk::ctl {

class Output;
struct Request;

// The settle time before the read-back: the console queries half a second after a switch.
inline constexpr int SettleMs = 500;

// A request to stop (SIGINT, SIGTERM, SIGHUP): the frame being written is finished, no further
// frame is written.
class Interruption : public QObject {
    Q_OBJECT
public:
    int signalNumber() const { return m_signal; }
    void raise(int signalNumber) {
        if (m_signal != 0)
            return;
        m_signal = signalNumber;
        emit raised();
    }

signals:
    void raised();

private:
    int m_signal = 0;
};

struct SessionContext {
    Line& link;
    Output& output;
    Interruption& interruption;
    QString port;
};

// Yields the exit code. Every wait is bounded: the task ends within the request's timeout (plus
// its dwell and settle time) whatever the device does, and at once when interrupted.
Task<int> runRequest(SessionContext context, Request request);

// One line on what an interrupted request did: the frames sent and the state each channel
// concerned was left in, as far as known. `left` maps a channel to (on, confirmed by read-back).
QString interruptionReport(const Request& request, int sent,
                           const QList<std::pair<int, std::pair<bool, bool>>>& left);

} // namespace vesk::ctl
