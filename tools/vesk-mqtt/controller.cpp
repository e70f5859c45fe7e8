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
    m_port->addPoller(this, m_config.name, quint8(m_config.address), m_config.pollMs,
                      [this](std::optional<QByteArray> batch) { onReply(std::move(batch)); });
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &Controller::query);
    connect(port, &PortQueue::closed, this, &Controller::onPortClosed);
}

Controller::~Controller() {
    m_port->removePoller(this);
}

void Controller::onPortClosed() {
    m_settle.stop();
    m_replyPredatesSwitch = false;
    setAvailable(false);
}

void Controller::query() {
    // One query written after the last switch confirms them all.
    m_port->pollSoon(this);
}

void Controller::onReply(std::optional<QByteArray> batch) {
    const auto states = batch ? lampStates(*batch) : std::nullopt;
    if (!states) {
        m_replyPredatesSwitch = false;
        // Counted by the queue, which also asks a silent controller less often.
        if (m_port->missedInRow(this) >= MissesBeforeSilent)
            noteSilence();
        return;
    }
    m_silentLogged.invalidate();
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

void Controller::noteSilence() {
    const QString why = QStringLiteral("no reply from address %1 on %2")
                            .arg(m_config.address)
                            .arg(m_port->location());
    if (!m_silentLogged.isValid()) {
        m_silentLogged.start();
        // Also for a controller that never answered, which is offline from the start.
        if (!m_available)
            logLine(QStringLiteral("%1: %2; offline").arg(m_config.name, why));
        setAvailable(false, why);
    } else if (m_silentLogged.elapsed() >= SilenceReminderMs) {
        m_silentLogged.start();
        logLine(QStringLiteral("%1: still %2 (%3 status queries in a row); offline")
                    .arg(m_config.name, why)
                    .arg(m_port->missedInRow(this)));
    }
}

void Controller::setAvailable(bool available, const QString& why) {
    if (available == m_available)
        return;
    m_available = available;
    const QString state = available ? QStringLiteral("online") : QStringLiteral("offline");
    logLine(why.isEmpty() ? QStringLiteral("%1: %2").arg(m_config.name, state)
                          : QStringLiteral("%1: %2; %3").arg(m_config.name, why, state));
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
    // Commands for one channel, for all channels, and for the keys replace their own kind only.
    const int target = command.target == Command::Target::Channel ? command.channel
                       : command.target == Command::Target::All   ? 0
                                                                  : -1;
    m_port->submit(frame, this, target, describe(command));
    // Every switch restarts the settle time, so a burst is confirmed by one query after it.
    m_settle.start();
}

} // namespace vesk::mqtt
