#include "discovery.h"

#include "topics.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vesk::mqtt {

QString discoveryTopic(const QString& prefix, const QString& name, int channel) {
    return QStringLiteral("%1/switch/vesk_%2_%3/config").arg(prefix, name).arg(channel);
}

QByteArray discoveryPayload(const BrokerConfig& broker, const ControllerConfig& controller,
                            int channel) {
    const QString& base = broker.baseTopic;
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
    const QJsonObject config{
        {QStringLiteral("unique_id"), QStringLiteral("%1_%2").arg(id).arg(channel)},
        {QStringLiteral("name"), controller.channelName(channel)},
        {QStringLiteral("command_topic"), commandTopic(base, controller.name, channel)},
        {QStringLiteral("state_topic"), channelTopic(base, controller.name, channel)},
        {QStringLiteral("availability_topic"), availabilityTopic(base, controller.name)},
        {QStringLiteral("payload_on"), QStringLiteral("ON")},
        {QStringLiteral("payload_off"), QStringLiteral("OFF")},
        {QStringLiteral("device"), device},
    };
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

} // namespace vesk::mqtt
