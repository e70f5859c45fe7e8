#include "topics.h"

#include <QStringList>

namespace vesk::mqtt {

namespace {

// The payload as a word, printable in a log line whatever it holds.
QString shown(const QByteArray& payload) {
    QString text = QString::fromUtf8(payload);
    for (QChar& c : text)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return text;
}

} // namespace

std::variant<Command, QString> parseCommand(const QString& base, const QString& topic,
                                            const QByteArray& payload) {
    if (payload.size() > MaxPayload)
        return QStringLiteral("%1: payload of %2 bytes (at most %3)")
            .arg(topic)
            .arg(payload.size())
            .arg(MaxPayload);
    const QString prefix = base + QLatin1Char('/');
    if (!topic.startsWith(prefix))
        return QStringLiteral("%1: not a command topic").arg(topic);
    const QStringList levels = topic.mid(prefix.size()).split(QLatin1Char('/'));
    Command command;
    if (levels.size() == 4 && levels[1] == QLatin1String("channel") &&
        levels[3] == QLatin1String("set")) {
        bool ok = false;
        command.channel = levels[2].toInt(&ok);
        if (!ok || command.channel < 1 || command.channel > 8 ||
            levels[2] != QString::number(command.channel))
            return QStringLiteral("%1: no channel '%2' (channels are 1-8)").arg(topic, levels[2]);
        command.target = Command::Target::Channel;
    } else if (levels.size() == 3 && levels[1] == QLatin1String("all") &&
               levels[2] == QLatin1String("set")) {
        command.target = Command::Target::All;
    } else if (levels.size() == 3 && levels[1] == QLatin1String("keys") &&
               levels[2] == QLatin1String("set")) {
        command.target = Command::Target::Keys;
    } else {
        return QStringLiteral("%1: not a command topic").arg(topic);
    }
    command.controller = levels[0];

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
        return QStringLiteral("%1: unknown payload '%2'").arg(topic, shown(payload));
    return command;
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

QString describe(const Command& command) {
    static const char* const words[] = {"ON", "OFF", "TOGGLE", "LOCK", "UNLOCK"};
    const QString word = QLatin1String(words[static_cast<int>(command.action)]);
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

} // namespace vesk::mqtt
