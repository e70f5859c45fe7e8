// Brings a lost port back by itself: after an unplug, the same device path (or by-id link) is
// looked for once a second and opened as soon as it is there again; after a dropped tcp://
// connection, reconnect attempts follow at growing intervals of at most MaxBackoffMs, so that a
// server that is back is reached within 2 s. Both wait on timers, so nothing spins while the
// device is away. Each attempt goes the way the port's open goes: a line that another program
// holds and shares (its holder restarted) is reached through the share as soon as it is offered,
// and directly once it is free, whichever comes first.
#pragma once

#include <QObject>
#include <QTimer>

#include "core/portlocation.h"

namespace vesk {

class SerialPortControl;

class PortReopener : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 1000;
    static constexpr int FirstBackoffMs = 250;
    static constexpr int MaxBackoffMs = 1500;

    explicit PortReopener(SerialPortControl& port, QObject* parent = nullptr);

    // Starts watching for `location`, to be reopened as port COMn `commPort`.
    void watch(int commPort, const PortLocation& location);
    // Stops watching (the operator chose a port, or the program ends).
    void stop();
    bool watching() const { return m_watching; }

signals:
    // The port is open again.
    void reopened(int commPort);

private:
    void attempt();
    void succeeded();

    SerialPortControl& m_port;
    QTimer m_timer;
    PortLocation m_location;
    int m_commPort = 0;
    int m_backoffMs = FirstBackoffMs;
    bool m_watching = false;
    bool m_connecting = false; // a tcp:// attempt of ours is under way
};

} // namespace vesk
