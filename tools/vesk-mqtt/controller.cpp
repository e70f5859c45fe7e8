#include "controller.h"

#include "client.h"
#include "discovery.h"
#include "log.h"
#include "portqueue.h"

#include "core/frames.h"
#include "core/reply.h"

#include <QJsonDocument>

#include <utility>

namespace vesk::mqtt {

namespace {

QString onOff(bool on) {
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

} // namespace

Controller::Controller(const ControllerConfig& config, const BrokerConfig& broker, PortQueue* port,
                       MqttClient* client, FrameJournal* journal, QObject* parent)
    : QObject(parent), m_config(config), m_broker(broker), m_port(port), m_client(client),
      m_journal(journal) {
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

QString Controller::label() const {
    return m_config.displayName.isEmpty()
               ? m_config.name
               : QStringLiteral("%1 (%2)").arg(m_config.name, m_config.displayName);
}

void Controller::onPortClosed() {
    m_settle.stop();
    m_replyPredatesSwitch = false;
    judge(std::nullopt);
    setAvailable(false);
}

void Controller::query() {
    // One query written after the last switch confirms them all.
    m_judgeNext = !m_written.empty();
    m_port->pollSoon(this);
}

void Controller::onReply(std::optional<QByteArray> batch) {
    const auto states = batch ? lampStates(*batch) : std::nullopt;
    if (!states) {
        m_replyPredatesSwitch = false;
        if (m_judgeNext)
            judge(std::nullopt);
        // Counted by the queue, which also asks a silent controller less often.
        if (m_port->missedInRow(this) >= MissesBeforeSilent)
            noteSilence();
        return;
    }
    m_silentLogged.invalidate();
    const auto previous = m_states;
    m_states = states;
    // A reply to a query written before the latest switch does not show that switch yet.
    if (!std::exchange(m_replyPredatesSwitch, false)) {
        m_expected = *states;
        if (m_judgeNext)
            judge(states);
    }
    setAvailable(true);
    for (int channel = 1; channel <= 8; ++channel)
        if (!previous || (*previous)[channel - 1] != (*states)[channel - 1])
            publishState(channel);
}

void Controller::judge(const std::optional<std::array<bool, 8>>& states) {
    m_judgeNext = false;
    const std::vector<Switch> written = std::exchange(m_written, {});
    const QString port = m_journal ? FrameJournal::portName(m_port->port()) : QString();
    for (size_t i = 0; i < written.size(); ++i) {
        const Switch& s = written[i];
        // Of several switches of one channel in a burst, the last one is what was asked.
        bool superseded = false;
        for (size_t j = i + 1; j < written.size(); ++j)
            superseded = superseded || written[j].channel == s.channel;
        QString outcome;
        FrameJournal::Fields fields{{QStringLiteral("channel"), s.channel},
                                    {QStringLiteral("asked"), onOff(s.on)}};
        if (superseded) {
            outcome = QStringLiteral("superseded");
        } else if (!states) {
            outcome = QStringLiteral("no reply");
        } else if ((*states)[s.channel - 1] == s.on) {
            outcome = QStringLiteral("confirmed");
        } else {
            outcome = QStringLiteral("not obeyed");
            const QString read = onOff((*states)[s.channel - 1]);
            fields.append({QStringLiteral("read"), read});
            logLine(QStringLiteral("%1 channel %2 %3: not obeyed, the controller still reports %4")
                        .arg(label())
                        .arg(s.channel)
                        .arg(onOff(s.on), read));
            publishEvent(QStringLiteral("not_obeyed"), {{QStringLiteral("channel"), s.channel},
                                                        {QStringLiteral("asked"), onOff(s.on)},
                                                        {QStringLiteral("read"), read}});
        }
        if (m_journal)
            m_journal->recordOutcome(port, outcome, s.frame, fields);
    }
}

void Controller::noteSilence() {
    const QString why = QStringLiteral("no reply from address %1 on %2")
                            .arg(m_config.address)
                            .arg(m_port->location());
    if (!m_silentLogged.isValid()) {
        m_silentLogged.start();
        // Also for a controller that never answered, which is offline from the start.
        if (!m_available)
            logLine(QStringLiteral("%1: %2; offline").arg(label(), why));
        setAvailable(false, why);
    } else if (m_silentLogged.elapsed() >= SilenceReminderMs) {
        m_silentLogged.start();
        logLine(QStringLiteral("%1: still %2 (%3 status queries in a row); offline")
                    .arg(label(), why)
                    .arg(m_port->missedInRow(this)));
    }
}

void Controller::setAvailable(bool available, const QString& why) {
    if (available == m_available)
        return;
    m_available = available;
    const QString state = available ? QStringLiteral("online") : QStringLiteral("offline");
    logLine(why.isEmpty() ? QStringLiteral("%1: %2").arg(label(), state)
                          : QStringLiteral("%1: %2; %3").arg(label(), why, state));
    // Back online, all eight states are published afresh.
    if (!available) {
        m_states.reset();
        m_expected.reset();
    }
    publish(availabilityTopic(m_broker.baseTopic, m_config.name), available ? "online" : "offline",
            true);
}

void Controller::publish(const QString& topic, const QByteArray& payload, bool retain) {
    if (m_client)
        m_client->publish(topic, payload, retain);
}

void Controller::publishState(int channel) {
    publish(channelTopic(m_broker.baseTopic, m_config.name, channel),
            (*m_states)[channel - 1] ? "ON" : "OFF", true);
}

void Controller::publishEvent(const QString& type, QJsonObject fields) {
    // "event_type" is the key Home Assistant's event entity reads.
    fields.insert(QStringLiteral("event_type"), type);
    publish(eventTopic(m_broker.baseTopic, m_config.name),
            QJsonDocument(fields).toJson(QJsonDocument::Compact), false);
}

void Controller::announce() {
    publish(availabilityTopic(m_broker.baseTopic, m_config.name),
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
        publish(entry.topic, entry.payload, true);
}

void Controller::refuse(const QString& why, const QString& topic, const QByteArray& payload) {
    logLine(QStringLiteral("%1: ignored: %2").arg(label(), why));
    publishRefused(why, {topic, payload});
}

void Controller::publishRefused(const QString& why, const Origin& origin) {
    publishEvent(QStringLiteral("refused"),
                 {{QStringLiteral("topic"), origin.topic},
                  {QStringLiteral("payload"), shownPayload(origin.payload)},
                  {QStringLiteral("reason"), why}});
}

void Controller::execute(const Command& command, const Origin& origin) {
    if (!m_port->isOpen()) {
        const QString why = QStringLiteral("%1: refused, port %2 is closed")
                                .arg(describe(command), m_port->location());
        logLine(why);
        publishRefused(why, origin);
        return;
    }
    const auto address = quint8(m_config.address);
    QByteArray frame;
    bool on = command.action == Action::On;
    switch (command.target) {
    case Command::Target::Channel: {
        if (command.action == Action::Toggle) {
            if (!m_expected) {
                const QString why = QStringLiteral("%1: refused, the channel's state is not known "
                                                   "yet")
                                        .arg(describe(command));
                logLine(why);
                publishRefused(why, origin);
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
        frame = timedAllFrame(address, on);
        m_expected.reset(); // the timed sequence takes its time; the next reply tells
        break;
    case Command::Target::Keys:
        frame = keyLockFrame(address, command.action == Action::Lock);
        break;
    }
    logDetail(describe(command));
    if (m_port->isAwaitingReply(this))
        m_replyPredatesSwitch = true;
    // Commands for one channel, for all channels, and for the keys replace their own kind only.
    const int target = command.target == Command::Target::Channel ? command.channel
                       : command.target == Command::Target::All   ? 0
                                                                  : -1;
    const Switch written{
        command.target == Command::Target::Channel ? command.channel : 0, on, frame,
        FrameJournal::Fields{{QStringLiteral("via"), QStringLiteral("mqtt")},
                             {QStringLiteral("topic"), origin.topic},
                             {QStringLiteral("payload"), shownPayload(origin.payload)}}};
    m_port->submit(frame, this, target, describe(command), [this, written] {
        if (m_journal)
            m_journal->record(FrameJournal::portName(m_port->port()), true, written.frame,
                              written.origin);
        if (written.channel > 0)
            m_written.push_back(written);
    });
    // Sent all the same (it may be back), and asked at once rather than after its back-off. Only
    // a controller reported offline gets the event: one missed reply (a stall, a burst of other
    // clients on the line) puts a controller in back-off, but it is still online.
    if (!m_available || m_port->missedInRow(this) > 0)
        m_port->pollSoon(this);
    if (!m_available) {
        logLine(QStringLiteral("%1: sent while %2 is offline; asking it now")
                    .arg(describe(command), label()));
        QJsonObject fields{{QStringLiteral("asked"), actionWord(command.action)}};
        if (command.target == Command::Target::Channel)
            fields.insert(QStringLiteral("channel"), command.channel);
        else
            fields.insert(QStringLiteral("target"), command.target == Command::Target::All
                                                        ? QStringLiteral("all")
                                                        : QStringLiteral("keys"));
        publishEvent(QStringLiteral("offline"), fields);
    }
    // Every switch restarts the settle time, so a burst is confirmed by one query after it.
    m_settle.start();
}

} // namespace vesk::mqtt
