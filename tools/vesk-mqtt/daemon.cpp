#include "daemon.h"

#include "client.h"
#include "controller.h"
#include "log.h"
#include "portqueue.h"
#include "topics.h"

#include "core/journal.h"
#include "core/line.h"

#include <QStringList>

namespace vesk::mqtt {

namespace {

QString retainedHint(const QString& topic) {
    return QStringLiteral("; remove it with: mosquitto_pub -r -n -t '%1'").arg(topic);
}

} // namespace

Daemon::Daemon(const Config& config, FrameJournal* journal, QObject* parent)
    : QObject(parent), m_config(config), m_journal(journal) {}

Daemon::~Daemon() {
    // Controllers hold pointers to their client and port.
    for (auto& unit : m_units)
        unit->controller.reset();
}

bool Daemon::start(QString* reason) {
    const auto password = readPassword(m_config.broker, reason);
    if (!password)
        return false;
    const QString& base = m_config.broker.baseTopic;
    bool first = true;
    for (const ControllerConfig& c : m_config.controllers) {
        auto& port = m_ports[canonicalPortName(c.location)];
        if (!port) {
            port = std::make_unique<PortQueue>(c.location);
            if (m_journal)
                m_journal->attach(port->port());
        }
        auto unit = std::make_unique<Unit>();
        unit->client = std::make_unique<MqttClient>(m_config.broker, *password,
                                                    clientIdFor(m_config.broker, c),
                                                    availabilityTopic(base, c.name), c.name);
        if (!unit->client->setUp(reason))
            return false;
        unit->controller =
            std::make_unique<Controller>(c, m_config.broker, port.get(), unit->client.get());
        Unit* u = unit.get();
        connect(u->client.get(), &MqttClient::connected, this,
                [this, u, first] { onConnected(*u, first); });
        connect(u->client.get(), &MqttClient::message, this,
                [this, u, first](const QString& topic, const QByteArray& payload, bool retained) {
                    onMessage(*u, first, topic, payload, retained);
                });
        m_units.push_back(std::move(unit));
        first = false;
    }
    for (auto& [key, port] : m_ports)
        port->start();
    for (auto& unit : m_units)
        unit->client->start();
    return true;
}

void Daemon::stop() {
    for (auto& unit : m_units)
        unit->client->finish(
            availabilityTopic(m_config.broker.baseTopic, unit->controller->config().name),
            "offline", 1000);
}

void Daemon::onConnected(Unit& unit, bool first) {
    const QString& base = m_config.broker.baseTopic;
    // The first connection also hears commands for names no controller has, to log them.
    const QString name = first ? QStringLiteral("+") : unit.controller->config().name;
    unit.client->subscribe(QStringLiteral("%1/%2/+/set").arg(base, name));
    unit.client->subscribe(QStringLiteral("%1/%2/channel/+/set").arg(base, name));
    if (!m_config.broker.discoveryPrefix.isEmpty())
        unit.client->subscribe(m_config.broker.discoveryPrefix + QStringLiteral("/status"));
    unit.controller->announce();
}

bool Daemon::isKnown(const QString& name) const {
    for (const auto& unit : m_units)
        if (unit->controller->config().name == name)
            return true;
    return false;
}

void Daemon::onMessage(Unit& unit, bool first, const QString& topic, const QByteArray& payload,
                       bool retained) {
    const QString& base = m_config.broker.baseTopic;
    if (!m_config.broker.discoveryPrefix.isEmpty() &&
        topic == m_config.broker.discoveryPrefix + QStringLiteral("/status")) {
        // Home Assistant came back and has forgotten the discovered switches.
        if (payload == "online")
            unit.controller->announceDiscovery();
        return;
    }
    const QString name = topic.section(QLatin1Char('/'), base.count(QLatin1Char('/')) + 1,
                                       base.count(QLatin1Char('/')) + 1);
    // A retained message is reported once per topic: it comes again with every reconnect until
    // someone removes it.
    if (retained && m_staleReported.contains(topic))
        return;
    if (name != unit.controller->config().name) {
        // Each connection handles its own controller's topics; the first one also names strangers.
        if (first && !isKnown(name)) {
            if (retained)
                m_staleReported.insert(topic);
            logLine(QStringLiteral("%1: ignored, no controller '%2'%3")
                        .arg(topic, name, retained ? retainedHint(topic) : QString()));
        }
        return;
    }
    if (retained) {
        m_staleReported.insert(topic);
        // Kept by the broker from some time ago, delivered now only because this connection
        // subscribed: executing it would switch on a stale wish, at every connect.
        logLine(QStringLiteral("%1: %2: ignored, a retained command is never executed%3")
                    .arg(name, topic, retainedHint(topic)));
        return;
    }
    const auto parsed = parseCommand(base, topic, payload);
    if (const auto* why = std::get_if<QString>(&parsed)) {
        logLine(QStringLiteral("%1: ignored: %2").arg(name, *why));
        return;
    }
    unit.controller->execute(std::get<Command>(parsed));
}

} // namespace vesk::mqtt
