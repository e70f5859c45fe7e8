#include "reopener.h"

#include <QFileInfo>

#include "core/serialport.h"

namespace vesk {

PortReopener::PortReopener(SerialPortControl& port, QObject* parent)
    : QObject(parent), m_port(port) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PortReopener::attempt);
    connect(&m_port, &SerialPortControl::opened, this, [this] {
        if (m_connecting)
            succeeded();
    });
    connect(&m_port, &SerialPortControl::openFailed, this, [this] {
        if (!m_connecting)
            return;
        m_connecting = false;
        m_backoffMs = qMin(m_backoffMs * 2, int(MaxBackoffMs));
        m_timer.start(m_backoffMs);
    });
}

void PortReopener::watch(int commPort, const PortLocation& location) {
    m_commPort = commPort;
    m_location = location;
    m_watching = true;
    m_connecting = false;
    m_backoffMs = FirstBackoffMs;
    m_timer.start(location.isTcp() ? m_backoffMs : PollMs);
}

void PortReopener::stop() {
    m_watching = false;
    m_connecting = false;
    m_timer.stop();
}

void PortReopener::attempt() {
    if (!m_watching || m_port.portOpen() || m_port.connecting())
        return stop();
    m_port.setCommPort(m_commPort);
    // A device node (or the link to it) that is not back yet: look again later.
    if (!m_location.isTcp() && !QFileInfo::exists(m_location.path)) {
        m_timer.start(PollMs);
        return;
    }
    const bool open = m_port.openLocation(m_location);
    if (m_port.connecting()) {
        // A server, or a line another program offers: the result follows as opened() or
        // openFailed(), and a failure waits its turn before the next attempt.
        m_connecting = true;
        return;
    }
    if (open)
        return succeeded();
    m_timer.start(PollMs);
}

void PortReopener::succeeded() {
    stop();
    emit reopened(m_commPort);
}

} // namespace vesk
