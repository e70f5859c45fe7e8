#include "purge.h"

#include "client.h"
#include "log.h"
#include "options.h"
#include "topics.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTimer>

#include <cstdio>

namespace vesk::mqtt {

namespace {

constexpr int TimeoutMs = 15000;

// The controller a retained message belongs to, or an empty string when it is none of the
// daemon's controller topics: BASE/NAME/availability, BASE/NAME/channel/N[/set],
// BASE/NAME/all|keys/set, or a discovery configuration whose availability names
// BASE/NAME/availability (a list today, one topic in earlier versions).
QString ownerOf(const BrokerConfig& broker, const QString& topic, const QByteArray& payload) {
    const QString& base = broker.baseTopic;
    const TopicKind kind = parseTopic(base, topic);
    if (kind.kind != TopicKind::None && kind.kind != TopicKind::Bridge &&
        kind.kind != TopicKind::Malformed)
        return kind.controller;
    if (broker.discoveryPrefix.isEmpty() ||
        !topicMatches(
            discoveryTopic(broker.discoveryPrefix, QStringLiteral("+"), QStringLiteral("+")),
            topic) ||
        !topic.section(QLatin1Char('/'), -2, -2).startsWith(QLatin1String("vesk_")))
        return {};
    const QJsonObject config = QJsonDocument::fromJson(payload).object();
    QStringList availability{config.value(QStringLiteral("availability_topic")).toString()};
    for (const QJsonValue& entry : config.value(QStringLiteral("availability")).toArray())
        availability.append(entry.toObject().value(QStringLiteral("topic")).toString());
    for (const QString& candidate : availability) {
        const TopicKind owner = parseTopic(base, candidate);
        if (owner.kind == TopicKind::Availability)
            return owner.controller;
    }
    return {};
}

} // namespace

int runPurge(const Config& config, const QString& onlyName) {
    const BrokerConfig& broker = config.broker;
    QString reason;
    const auto password = readPassword(broker, &reason);
    if (!password) {
        logLine(reason);
        return ExitFailed;
    }
    const QString id =
        QStringLiteral("%1-purge-%2").arg(broker.clientId).arg(QCoreApplication::applicationPid());
    MqttClient client(broker, *password, id, QString(), QStringLiteral("purge"));
    if (!client.setUp(&reason)) {
        logLine(reason);
        return ExitFailed;
    }
    QStringList configured;
    for (const ControllerConfig& c : config.controllers)
        configured.append(c.name);
    auto wanted = [&](const QString& name) {
        return !name.isEmpty() && !configured.contains(name) &&
               (onlyName.isEmpty() || name == onlyName);
    };

    // The broker sends the retained messages of a subscription before it handles anything this
    // connection sends later: once a message to the marker comes back, all of them are here.
    const QString marker = QStringLiteral("%1/.purge-%2/done")
                               .arg(broker.baseTopic)
                               .arg(QCoreApplication::applicationPid());
    QMap<QString, QString> doomed; // topic -> controller
    QEventLoop loop;
    int markers = 0;
    int connects = 0;
    QObject::connect(&client, &MqttClient::connected, &loop, [&] {
        ++connects;
        client.subscribe(broker.baseTopic + QStringLiteral("/+/#"));
        if (!broker.discoveryPrefix.isEmpty())
            for (const QString& component : discoveryComponents())
                client.subscribe(
                    discoveryTopic(broker.discoveryPrefix, component, QStringLiteral("+")));
        client.publish(marker, "1", false);
    });
    QObject::connect(&client, &MqttClient::message, &loop,
                     [&](const QString& topic, const QByteArray& payload, bool retained) {
                         if (topic == marker) {
                             ++markers;
                             loop.quit();
                             return;
                         }
                         const QString name = ownerOf(broker, topic, payload);
                         if (retained && wanted(name))
                             doomed.insert(topic, name);
                     });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(TimeoutMs);
    client.start();
    loop.exec();
    if (markers == 0) {
        logLine(QStringLiteral("purge: no answer from broker %1:%2 within %3 s; nothing removed")
                    .arg(broker.host)
                    .arg(broker.effectivePort())
                    .arg(TimeoutMs / 1000));
        return ExitFailed;
    }
    QStringList names;
    const int removingOn = connects;
    for (auto it = doomed.cbegin(); it != doomed.cend(); ++it) {
        // An empty retained message makes the broker forget the topic.
        client.publish(it.key(), QByteArray(), true);
        if (!names.contains(it.value()))
            names.append(it.value());
    }
    // The marker once more: when it is back, the broker has handled every removal (a connection
    // closed with unread data is reset, and the broker could lose what it has not read yet).
    client.publish(marker, "1", false);
    timeout.start(TimeoutMs);
    loop.exec();
    client.finish(QString(), QByteArray(), 5000);
    // Removals queued while the connection was down are lost; the marker of a new connection
    // would not confirm them.
    if (connects > removingOn) {
        logLine(QStringLiteral("purge: the connection to broker %1:%2 was lost while removing; "
                               "run it again")
                    .arg(broker.host)
                    .arg(broker.effectivePort()));
        return ExitFailed;
    }
    if (markers < 2) {
        logLine(QStringLiteral("purge: broker %1:%2 did not confirm the removals within %3 s")
                    .arg(broker.host)
                    .arg(broker.effectivePort())
                    .arg(TimeoutMs / 1000));
        return ExitFailed;
    }
    for (auto it = doomed.cbegin(); it != doomed.cend(); ++it)
        std::printf("removed %s\n", qPrintable(it.key()));
    if (doomed.isEmpty())
        std::printf("nothing to remove under %s%s\n", qPrintable(broker.baseTopic),
                    onlyName.isEmpty() ? "" : qPrintable(QStringLiteral(" for ") + onlyName));
    else
        std::printf("%lld retained topic(s) of %s removed\n", static_cast<long long>(doomed.size()),
                    qPrintable(names.join(QStringLiteral(", "))));
    return 0;
}

} // namespace vesk::mqtt
