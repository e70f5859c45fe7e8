#include "discovery.h"

#include "topics.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vesk::mqtt {

namespace {

constexpr const char* SupportUrl = "https://www.vesk-power.example/";

struct Button {
    const char* key; // object id suffix
    const char* name;
    const char* target; // command topic level: all or keys
    const char* payload;
    const char* icon;
};

// The controller's own timed sequences and its front-panel lock: commands without a state.
constexpr Button Buttons[] = {
    {"all_on", "All on (timed)", "all", "ON", "mdi:power-plug"},
    {"all_off", "All off (timed)", "all", "OFF", "mdi:power-plug-off"},
    {"keys_lock", "Lock keys", "keys", "LOCK", "mdi:lock"},
    {"keys_unlock", "Unlock keys", "keys", "UNLOCK", "mdi:lock-open"},
};

// Entity ids are lower case letters, digits and '_'; controller names may also hold upper case
// and '-'.
QString entitySlug(const QString& objectId) {
    QString slug = objectId.toLower();
    slug.replace(QLatin1Char('-'), QLatin1Char('_'));
    return slug;
}

// What every entity of the controller shares: its device, this program as origin, availability.
QJsonObject common(const BrokerConfig& broker, const ControllerConfig& controller,
                   const QString& component, const QString& objectId) {
    const QString id = QStringLiteral("vesk_%1").arg(controller.name);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{id}},
        {QStringLiteral("name"), controller.name},
        {QStringLiteral("manufacturer"), QStringLiteral("VESK")},
        {QStringLiteral("model"), controller.series == QLatin1String("5200")
                                      ? QStringLiteral("VESK 5200 series")
                                      : QStringLiteral("VESK QX series")},
        {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()},
    };
    const QJsonObject origin{
        {QStringLiteral("name"), QStringLiteral("vesk-mqtt")},
        {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("support_url"), QLatin1String(SupportUrl)},
    };
    // The entity id is ASCII from the controller name (which is ASCII) and the channel number:
    // channel names may be Chinese, and Home Assistant would make a transliterated id of them.
    return {
        {QStringLiteral("unique_id"), objectId},
        {QStringLiteral("default_entity_id"), component + QLatin1Char('.') + entitySlug(objectId)},
        {QStringLiteral("availability_topic"),
         availabilityTopic(broker.baseTopic, controller.name)},
        {QStringLiteral("device"), device},
        {QStringLiteral("origin"), origin},
    };
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QList<DiscoveryEntry> discoveryEntries(const BrokerConfig& broker,
                                       const ControllerConfig& controller) {
    const QString& prefix = broker.discoveryPrefix;
    const QString& base = broker.baseTopic;
    QList<DiscoveryEntry> entries;
    for (int channel = 1; channel <= 8; ++channel) {
        const QString objectId = QStringLiteral("vesk_%1_%2").arg(controller.name).arg(channel);
        QJsonObject config = common(broker, controller, QStringLiteral("switch"), objectId);
        config.insert(QStringLiteral("name"), controller.channelName(channel));
        config.insert(QStringLiteral("command_topic"),
                      commandTopic(base, controller.name, channel));
        config.insert(QStringLiteral("state_topic"), channelTopic(base, controller.name, channel));
        config.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        config.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        entries.append(
            {QStringLiteral("%1/switch/%2/config").arg(prefix, objectId), compact(config)});
    }
    for (const Button& button : Buttons) {
        const QString objectId =
            QStringLiteral("vesk_%1_%2").arg(controller.name, QLatin1String(button.key));
        QJsonObject config = common(broker, controller, QStringLiteral("button"), objectId);
        config.insert(QStringLiteral("name"), QLatin1String(button.name));
        config.insert(QStringLiteral("command_topic"),
                      QStringLiteral("%1/%2/%3/set")
                          .arg(base, controller.name, QLatin1String(button.target)));
        config.insert(QStringLiteral("payload_press"), QLatin1String(button.payload));
        config.insert(QStringLiteral("icon"), QLatin1String(button.icon));
        entries.append(
            {QStringLiteral("%1/button/%2/config").arg(prefix, objectId), compact(config)});
    }
    return entries;
}

} // namespace vesk::mqtt
