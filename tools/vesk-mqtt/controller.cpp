#include "controller.h"

#include "client.h"
#include "discovery.h"
#include "log.h"
#include "portqueue.h"

#include "core/frames.h"
#include "core/reply.h"

#include <utility>

namespace vesk::mqtt {

Controller::Controller(const ControllerConfig& config, const BrokerConfig& broker, PortQueue* port,
                       MqttClient* client, QObject* parent)
    : QObject(parent), m_config(config), m_broker(broker), m_port(port), m_client(client) {
    m_poll.setInterval(m_config.pollMs);
    connect(&m_poll, &QTimer::timeout, this, &Controller::poll);
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &Controller::query);
    connect(port, &PortQueue::opened, this, &Controller::onPortOpened);
    connect(port, &PortQueue::closed, this, &Controller::onPortClosed);
    if (port->isOpen())
        onPortOpened();
}

void Controller::onPortOpened() {
    m_missed = 0;
    m_poll.start();
    query();
}

void Controller::onPortClosed() {
    m_poll.stop();
    m_settle.stop();
    setAvailable(false);
}

void Controller::poll() {
    // A poll never piles up behind one that has not been answered yet.
    if (!m_port->hasOpenQuery(this))
        query();
}

void Controller::query() {
    // One query written after the last switch confirms them all.
    if (m_port->hasQueuedQuery(this))
        return;
    m_port->submitQuery(statusQueryFrame(quint8(m_config.address)), quint8(m_config.address), this,
                        [this](std::optional<QByteArray> batch) { onReply(std::move(batch)); });
}

void Controller::onReply(std::optional<QByteArray> batch) {
    const auto states = batch ? lampStates(*batch) : std::nullopt;
    if (!states) {
        if (++m_missed >= MissedPollsOffline && m_available) {
            logLine(QStringLiteral("%1: no reply to %2 status queries")
                        .arg(m_config.name)
                        .arg(m_missed));
            setAvailable(false);
        }
        return;
    }
    m_missed = 0;
    const auto previous = m_states;
    m_states = states;
    // A reply to a query written before the latest switch does not show that switch yet.
    if (!std::exchange(m_replyPredatesSwitch, false))
        m_expected = *states;
    setAvailable(true);
    for (int channel = 1; channel <= 8; ++channel)
        if (!previous || (*previous)[channel - 1] != (*states)[channel - 1])
            publishState(channel);
}

void Controller::setAvailable(bool available) {
    if (available == m_available)
        return;
    m_available = available;
    logLine(QStringLiteral("%1: %2").arg(m_config.name, available ? QStringLiteral("online")
                                                                  : QStringLiteral("offline")));
    // Back online, all eight states are published afresh.
    if (!available) {
        m_states.reset();
        m_expected.reset();
    }
    m_client->publish(availabilityTopic(m_broker.baseTopic, m_config.name),
                      available ? "online" : "offline", true);
}

void Controller::publishState(int channel) {
    m_client->publish(channelTopic(m_broker.baseTopic, m_config.name, channel),
                      (*m_states)[channel - 1] ? "ON" : "OFF", true);
}

void Controller::announce() {
    m_client->publish(availabilityTopic(m_broker.baseTopic, m_config.name),
                      m_available ? "online" : "offline", true);
    if (m_states)
        for (int channel = 1; channel <= 8; ++channel)
            publishState(channel);
    announceDiscovery();
}

void Controller::announceDiscovery() {
    if (m_broker.discoveryPrefix.isEmpty())
        return;
    for (const DiscoveryEntry& entry : discoveryEntries(m_broker, m_config))
        m_client->publish(entry.topic, entry.payload, true);
}

void Controller::execute(const Command& command) {
    if (!m_port->isOpen()) {
        logLine(QStringLiteral("%1: refused, port %2 is closed")
                    .arg(describe(command), m_port->location()));
        return;
    }
    const auto address = quint8(m_config.address);
    QByteArray frame;
    switch (command.target) {
    case Command::Target::Channel: {
        bool on = command.action == Action::On;
        if (command.action == Action::Toggle) {
            if (!m_expected) {
                logLine(QStringLiteral("%1: refused, the channel's state is not known yet")
                            .arg(describe(command)));
                return;
            }
            // Relative to the last switch, so that two toggles in a burst cancel out.
            on = !(*m_expected)[command.channel - 1];
        }
        frame = switchFrame(address, command.channel, on);
        if (m_expected)
            (*m_expected)[command.channel - 1] = on;
        break;
    }
    case Command::Target::All:
        frame = timedAllFrame(address, command.action == Action::On);
        m_expected.reset(); // the timed sequence takes its time; the next reply tells
        break;
    case Command::Target::Keys:
        frame = keyLockFrame(address, command.action == Action::Lock);
        break;
    }
    logDetail(QStringLiteral("%1").arg(describe(command)));
    if (m_port->isAwaitingReply(this))
        m_replyPredatesSwitch = true;
    m_port->submit(frame, this);
    // Every switch restarts the settle time, so a burst is confirmed by one query after it.
    m_settle.start();
}

} // namespace vesk::mqtt
