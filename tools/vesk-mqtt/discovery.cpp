#include "discovery.h"

#include "topics.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vesk::mqtt {

namespace {

struct Button {
    const char* key; // object id suffix
    const char* name;
    Command::Target target;
    const char* payload;
    const char* icon;
    bool config; // a setting of the controller rather than something it does
};

// The controller's own timed sequences and its front-panel lock: commands without a state.
constexpr Button Buttons[] = {
    {"all_on", "All on (timed)", Command::Target::All, "ON", "mdi:power-plug", false},
    {"all_off", "All off (timed)", Command::Target::All, "OFF", "mdi:power-plug-off", false},
    {"keys_lock", "Lock keys", Command::Target::Keys, "LOCK", "mdi:lock", true},
    {"keys_unlock", "Unlock keys", Command::Target::Keys, "UNLOCK", "mdi:lock-open", true},
};

// Entity ids are lower case letters, digits and '_'; object ids may also hold upper case and '-'.
QString entitySlug(const QString& objectId) {
    QString slug = objectId.toLower();
    slug.replace(QLatin1Char('-'), QLatin1Char('_'));
    return slug;
}

// What every entity of the controller shares: its device, this program as origin, and the two
// availabilities (the daemon's and the controller's), both of which must be online.
QJsonObject common(const BrokerConfig& broker, const ControllerConfig& controller,
                   const QString& component, const QString& objectId) {
    const QString& base = broker.baseTopic;
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{vesk::mqtt::objectId(base, controller.name)}},
        {QStringLiteral("name"), controller.shownName()},
        {QStringLiteral("manufacturer"), QStringLiteral("VESK")},
        {QStringLiteral("model"), controller.series == QLatin1String("5200")
                                      ? QStringLiteral("VESK 5200 series")
                                      : QStringLiteral("VESK QX series")},
    };
    QJsonObject origin{
        {QStringLiteral("name"), QStringLiteral("vesk-mqtt")},
        {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()},
    };
    if (!broker.supportUrl.isEmpty())
        origin.insert(QStringLiteral("support_url"), broker.supportUrl);
    // The entity id is ASCII from the object id: channel and controller names may be Chinese, and
    // Home Assistant would make a transliterated id of them.
    return {
        {QStringLiteral("unique_id"), objectId},
        {QStringLiteral("default_entity_id"), component + QLatin1Char('.') + entitySlug(objectId)},
        {QStringLiteral("availability"),
         QJsonArray{
             QJsonObject{{QStringLiteral("topic"), bridgeAvailabilityTopic(base)}},
             QJsonObject{{QStringLiteral("topic"), availabilityTopic(base, controller.name)}}}},
        {QStringLiteral("availability_mode"), QStringLiteral("all")},
        {QStringLiteral("device"), device},
        {QStringLiteral("origin"), origin},
    };
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QStringList eventTypes() {
    return {QStringLiteral("not_obeyed"), QStringLiteral("refused"), QStringLiteral("offline")};
}

QList<DiscoveryEntry> discoveryEntries(const BrokerConfig& broker,
                                       const ControllerConfig& controller) {
    const QString& prefix = broker.discoveryPrefix;
    const QString& base = broker.baseTopic;
    const QString& name = controller.name;
    QList<DiscoveryEntry> entries;
    const auto add = [&](const QString& component, const QString& suffix, QJsonObject fields) {
        const QString id = objectId(base, name, suffix);
        QJsonObject config = common(broker, controller, component, id);
        for (auto it = fields.begin(); it != fields.end(); ++it)
            config.insert(it.key(), it.value());
        entries.append({discoveryTopic(prefix, component, id), compact(config)});
    };
    for (int channel = 1; channel <= 8; ++channel)
        add(QStringLiteral("switch"), QString::number(channel),
            {{QStringLiteral("name"), controller.channelName(channel)},
             {QStringLiteral("device_class"), QStringLiteral("outlet")},
             {QStringLiteral("command_topic"), commandTopic(base, name, channel)},
             {QStringLiteral("state_topic"), channelTopic(base, name, channel)},
             {QStringLiteral("payload_on"), QStringLiteral("ON")},
             {QStringLiteral("payload_off"), QStringLiteral("OFF")}});
    for (const Button& button : Buttons) {
        QJsonObject fields{
            {QStringLiteral("name"), QLatin1String(button.name)},
            {QStringLiteral("command_topic"), targetCommandTopic(base, name, button.target)},
            {QStringLiteral("payload_press"), QLatin1String(button.payload)},
            {QStringLiteral("icon"), QLatin1String(button.icon)}};
        if (button.config)
            fields.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
        add(QStringLiteral("button"), QLatin1String(button.key), fields);
    }
    add(QStringLiteral("event"), QStringLiteral("event"),
        {{QStringLiteral("name"), QStringLiteral("Events")},
         {QStringLiteral("state_topic"), eventTopic(base, name)},
         {QStringLiteral("event_types"), QJsonArray::fromStringList(eventTypes())},
         {QStringLiteral("icon"), QStringLiteral("mdi:alert-circle-outline")}});
    return entries;
}

} // namespace vesk::mqtt
