#include "topics.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <mosquitto.h>

#include <optional>

namespace vesk::mqtt {

namespace {

constexpr const char* Words[] = {"ON", "OFF", "TOGGLE", "LOCK", "UNLOCK"};

// The NAME level and the levels after it, or nothing when `topic` is not under `base`.
std::optional<QStringList> levelsUnder(const QString& base, const QString& topic) {
    const QString prefix = base + QLatin1Char('/');
    if (!topic.startsWith(prefix))
        return std::nullopt;
    return topic.mid(prefix.size()).split(QLatin1Char('/'));
}

// "1".."8" as a channel, else 0.
int channelOf(const QString& level) {
    bool ok = false;
    const int channel = level.toInt(&ok);
    return ok && channel >= 1 && channel <= 8 && level == QString::number(channel) ? channel : 0;
}

// The base topic as part of an object id: letters, digits and '-' as they are, '/' as '_'. A
// base topic with any other character (such as '_', which '/' also becomes) gets a short hash of
// itself as well, so that two base topics never make the same part.
QString sitePart(const QString& base) {
    QString part;
    bool lossy = false;
    for (const QChar c : base) {
        const bool plain = c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
        part += plain ? c : QLatin1Char('_');
        lossy = lossy || (!plain && c != QLatin1Char('/'));
    }
    if (lossy)
        part +=
            QLatin1Char('_') +
            QString::fromLatin1(
                QCryptographicHash::hash(base.toUtf8(), QCryptographicHash::Sha1).toHex().left(6));
    return part;
}

} // namespace

bool isValidName(const QString& name) {
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return valid.match(name).hasMatch() && name != QLatin1String(BridgeLevel);
}

TopicKind parseTopic(const QString& base, const QString& topic) {
    const auto levels = levelsUnder(base, topic);
    if (!levels)
        return {};
    const QStringList& l = *levels;
    if (l[0] == QLatin1String(BridgeLevel))
        return {TopicKind::Bridge, QString(), 0};
    if (!isValidName(l[0]) || l.size() < 2)
        return {};
    TopicKind kind{TopicKind::None, l[0], 0};
    const QString& what = l[1];
    if (l.size() == 2 && what == QLatin1String("availability"))
        kind.kind = TopicKind::Availability;
    else if (l.size() == 2 && what == QLatin1String("event"))
        kind.kind = TopicKind::Event;
    else if (l.size() == 3 && what == QLatin1String("channel") && channelOf(l[2]))
        kind = {TopicKind::State, l[0], channelOf(l[2])};
    else if (l.size() == 4 && what == QLatin1String("channel") && l[3] == QLatin1String("set"))
        kind = {channelOf(l[2]) ? TopicKind::Command : TopicKind::Malformed, l[0], channelOf(l[2])};
    else if (l.size() == 3 && l[2] == QLatin1String("set"))
        kind.kind = what == QLatin1String("all") || what == QLatin1String("keys")
                        ? TopicKind::Command
                        : TopicKind::Malformed;
    else if (l.last() == QLatin1String("set"))
        kind.kind = TopicKind::Malformed;
    return kind;
}

std::variant<Command, QString> parseCommand(const QString& base, const QString& topic,
                                            const QByteArray& payload) {
    if (payload.size() > MaxPayload)
        return QStringLiteral("%1: payload of %2 bytes (at most %3)")
            .arg(topic)
            .arg(payload.size())
            .arg(MaxPayload);
    const TopicKind kind = parseTopic(base, topic);
    const QStringList levels = levelsUnder(base, topic).value_or(QStringList());
    if (kind.kind == TopicKind::Malformed && levels.size() == 4 &&
        levels[1] == QLatin1String("channel"))
        return QStringLiteral("%1: no channel '%2' (channels are 1-8)").arg(topic, levels[2]);
    if (kind.kind != TopicKind::Command)
        return QStringLiteral("%1: not a command topic").arg(topic);
    Command command;
    command.controller = kind.controller;
    command.channel = kind.channel;
    command.target = kind.channel                        ? Command::Target::Channel
                     : levels[1] == QLatin1String("all") ? Command::Target::All
                                                         : Command::Target::Keys;

    const QByteArray word = payload.trimmed();
    const bool keys = command.target == Command::Target::Keys;
    if (!keys && word == "ON")
        command.action = Action::On;
    else if (!keys && word == "OFF")
        command.action = Action::Off;
    else if (command.target == Command::Target::Channel && word == "TOGGLE")
        command.action = Action::Toggle;
    else if (keys && word == "LOCK")
        command.action = Action::Lock;
    else if (keys && word == "UNLOCK")
        command.action = Action::Unlock;
    else
        return QStringLiteral("%1: unknown payload '%2'").arg(topic, shownPayload(payload));
    return command;
}

QString bridgeAvailabilityTopic(const QString& base) {
    return QStringLiteral("%1/%2/availability").arg(base, QLatin1String(BridgeLevel));
}

QString availabilityTopic(const QString& base, const QString& name) {
    return QStringLiteral("%1/%2/availability").arg(base, name);
}

QString channelTopic(const QString& base, const QString& name, int channel) {
    return QStringLiteral("%1/%2/channel/%3").arg(base, name).arg(channel);
}

QString commandTopic(const QString& base, const QString& name, int channel) {
    return channelTopic(base, name, channel) + QStringLiteral("/set");
}

QString targetCommandTopic(const QString& base, const QString& name, Command::Target target) {
    return QStringLiteral("%1/%2/%3/set")
        .arg(base, name,
             target == Command::Target::All ? QStringLiteral("all") : QStringLiteral("keys"));
}

QString eventTopic(const QString& base, const QString& name) {
    return QStringLiteral("%1/%2/event").arg(base, name);
}

QStringList commandFilters(const QString& base) {
    return {base + QStringLiteral("/+/+/set"), base + QStringLiteral("/+/channel/+/set")};
}

bool topicMatches(const QString& filter, const QString& topic) {
    bool result = false;
    return mosquitto_topic_matches_sub(filter.toUtf8().constData(), topic.toUtf8().constData(),
                                       &result) == MOSQ_ERR_SUCCESS &&
           result;
}

QString discoveryStatusTopic(const QString& prefix) {
    return prefix + QStringLiteral("/status");
}

QString discoveryTopic(const QString& prefix, const QString& component, const QString& objectId) {
    return QStringLiteral("%1/%2/%3/config").arg(prefix, component, objectId);
}

QStringList discoveryComponents() {
    return {QStringLiteral("switch"), QStringLiteral("button"), QStringLiteral("event")};
}

QString objectId(const QString& base, const QString& name, const QString& suffix) {
    QString id = QStringLiteral("vesk_");
    if (base != QLatin1String(DefaultBaseTopic))
        id += sitePart(base) + QLatin1Char('_');
    id += name;
    if (!suffix.isEmpty())
        id += QLatin1Char('_') + suffix;
    return id;
}

QString actionWord(Action action) {
    return QLatin1String(Words[static_cast<int>(action)]);
}

QString describe(const Command& command) {
    const QString word = actionWord(command.action);
    switch (command.target) {
    case Command::Target::Channel:
        return QStringLiteral("%1 channel %2 %3")
            .arg(command.controller)
            .arg(command.channel)
            .arg(word);
    case Command::Target::All:
        return QStringLiteral("%1 all %2").arg(command.controller, word);
    case Command::Target::Keys:
        return QStringLiteral("%1 keys %2").arg(command.controller, word);
    }
    return {};
}

QString shownPayload(const QByteArray& payload) {
    QString text = QString::fromUtf8(payload);
    for (QChar& c : text)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return text;
}

} // namespace vesk::mqtt
