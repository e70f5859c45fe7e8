#include "daemon.h"

#include "client.h"
#include "controller.h"
#include "log.h"
#include "portqueue.h"
#include "share.h"
#include "topics.h"

#include "core/frames.h"
#include "core/journal.h"
#include "core/line.h"

#include <QStringList>

namespace vesk::mqtt {

Daemon::Daemon(const Config& config, const DaemonOptions& options, QObject* parent)
    : QObject(parent), m_config(config), m_options(options) {}

Daemon::~Daemon() {
    m_shares.clear();
    // Controllers hold pointers to the client and their port.
    m_controllers.clear();
}

bool Daemon::start(QString* reason) {
    // Without a broker the lines are still owned, polled, journalled and shared; the controllers
    // simply have nowhere to publish.
    if (m_config.hasBroker) {
        const auto password = readPassword(m_config.broker, reason);
        if (!password)
            return false;
        const QString& base = m_config.broker.baseTopic;
        m_client = std::make_unique<MqttClient>(
            m_config.broker, *password, m_config.broker.clientId, bridgeAvailabilityTopic(base),
            QStringLiteral("vesk-mqtt"));
        if (!m_client->setUp(reason))
            return false;
    }
    for (const ControllerConfig& c : m_config.controllers) {
        auto& port = m_ports[canonicalPortName(c.location)];
        if (!port) {
            port = std::make_unique<PortQueue>(c.location);
            // Polls and their replies only when asked for: they would be most of the journal.
            if (m_options.journal && m_options.journalPolls)
                m_options.journal->attach(port->port(), [](bool out, const QByteArray& bytes) {
                    return !out || (bytes.size() > 3 && quint8(bytes[3]) == Cmd::StatusQuery);
                });
            m_shares.push_back(std::make_unique<LineShare>(*port, m_options.journal));
        }
        auto controller = std::make_unique<Controller>(c, m_config.broker, port.get(),
                                                       m_client.get(), m_options.journal);
        m_byName.insert(c.name, controller.get());
        m_controllers.push_back(std::move(controller));
    }
    for (auto& [key, port] : m_ports)
        port->start();
    if (m_client) {
        connect(m_client.get(), &MqttClient::connected, this, &Daemon::onConnected);
        connect(m_client.get(), &MqttClient::message, this, &Daemon::onMessage);
        m_client->start();
    }
    return true;
}

void Daemon::stop() {
    // The share clients learn it at once, before the goodbyes on the broker.
    for (auto& share : m_shares)
        share->close();
    if (!m_client)
        return;
    for (const auto& controller : m_controllers)
        m_client->publish(availabilityTopic(m_config.broker.baseTopic, controller->config().name),
                          "offline", true);
    m_client->finish(bridgeAvailabilityTopic(m_config.broker.baseTopic), "offline", 3000);
}

void Daemon::onConnected() {
    const BrokerConfig& broker = m_config.broker;
    m_client->publish(bridgeAvailabilityTopic(broker.baseTopic), "online", true);
    for (const QString& filter : commandFilters(broker.baseTopic))
        m_client->subscribe(filter);
    if (!broker.discoveryPrefix.isEmpty())
        m_client->subscribe(discoveryStatusTopic(broker.discoveryPrefix));
    for (const auto& controller : m_controllers)
        controller->announce();
}

QString Daemon::retainedHint(const QString& topic) const {
    // The broker as this daemon reaches it, so that the command works as printed.
    const BrokerConfig& b = m_config.broker;
    QString options = QStringLiteral("-h '%1' -p %2").arg(b.host).arg(b.effectivePort());
    if (!b.cafile.isEmpty())
        options += QStringLiteral(" --cafile '%1'").arg(b.cafile);
    if (!b.username.isEmpty())
        options += QStringLiteral(" -u '%1' -P PASSWORD").arg(b.username);
    return QStringLiteral("; remove it with: mosquitto_pub %1 -r -n -t '%2'").arg(options, topic);
}

void Daemon::onMessage(const QString& topic, const QByteArray& payload, bool retained) {
    const BrokerConfig& broker = m_config.broker;
    if (!broker.discoveryPrefix.isEmpty() &&
        topic == discoveryStatusTopic(broker.discoveryPrefix)) {
        // Home Assistant came back and has forgotten the discovered entities.
        if (payload == "online")
            for (const auto& controller : m_controllers)
                controller->announceDiscovery();
        return;
    }
    // A retained message is reported once per topic: it comes again with every reconnect until
    // someone removes it.
    if (retained && m_staleReported.contains(topic))
        return;
    const TopicKind kind = parseTopic(broker.baseTopic, topic);
    Controller* controller = m_byName.value(kind.controller);
    if (!controller) {
        if (retained)
            m_staleReported.insert(topic);
        logLine(QStringLiteral("%1: ignored, no controller '%2'%3")
                    .arg(topic, kind.controller, retained ? retainedHint(topic) : QString()));
        return;
    }
    if (retained) {
        m_staleReported.insert(topic);
        // Kept by the broker from some time ago, delivered now only because this connection
        // subscribed: executing it would switch on a stale wish, at every connect.
        logLine(QStringLiteral("%1: %2: ignored, a retained command is never executed%3")
                    .arg(controller->label(), topic, retainedHint(topic)));
        return;
    }
    // An empty message removes a retained one (as the hint above says to): no command, no fault.
    if (payload.isEmpty()) {
        logDetail(QStringLiteral("%1: empty message (a retained one removed)").arg(topic));
        return;
    }
    const auto parsed = parseCommand(broker.baseTopic, topic, payload);
    if (const auto* why = std::get_if<QString>(&parsed)) {
        controller->refuse(*why, topic, payload);
        return;
    }
    controller->execute(std::get<Command>(parsed), {topic, payload});
}

} // namespace vesk::mqtt
