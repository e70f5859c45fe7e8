#include "config.h"

#include "core/line.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace vesk::mqtt {

namespace {

bool parseInt(const QString& text, int low, int high, int* out) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool hasControl(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

bool hasBlank(const QString& text) {
    for (const QChar c : text)
        if (c.isSpace())
            return true;
    return false;
}

// A topic prefix the daemon publishes under: levels without wildcards, blanks or emptiness, and
// not one of the broker's own ($SYS) topics.
QString topicPrefixProblem(const QString& key, const QString& value) {
    if (value.contains(QLatin1Char('#')) || value.contains(QLatin1Char('+')))
        return QStringLiteral("%1 '%2' must not contain the wildcards '#' or '+'").arg(key, value);
    if (hasBlank(value) || hasControl(value))
        return QStringLiteral("%1 '%2' must not contain blanks").arg(key, value);
    if (value.startsWith(QLatin1Char('/')) || value.endsWith(QLatin1Char('/')))
        return QStringLiteral("%1 '%2' must not begin or end with '/'").arg(key, value);
    if (value.contains(QLatin1String("//")))
        return QStringLiteral("%1 '%2' has an empty level ('//')").arg(key, value);
    if (value.startsWith(QLatin1Char('$')))
        return QStringLiteral("%1 '%2' must not begin with '$' (the broker's own topics)")
            .arg(key, value);
    return {};
}

// Applies one key of [broker]. Returns an empty string or the reason the line is refused.
QString brokerKey(BrokerConfig& b, const QString& key, const QString& value) {
    if (key == QLatin1String("host")) {
        if (value.isEmpty() || hasBlank(value) || hasControl(value))
            return QStringLiteral("host must be a host name or address without blanks");
        b.host = value;
    } else if (key == QLatin1String("port")) {
        if (!parseInt(value, 1, 65535, &b.port))
            return QStringLiteral("port must be 1-65535");
    } else if (key == QLatin1String("username")) {
        b.username = value; // empty: no credentials
    } else if (key == QLatin1String("password"))
        b.password = value;
    else if (key == QLatin1String("password_file"))
        b.passwordFile = value;
    else if (key == QLatin1String("cafile"))
        b.cafile = value;
    else if (key == QLatin1String("client_id")) {
        if (value.isEmpty() || hasBlank(value) || hasControl(value) || value.toUtf8().size() > 64)
            return QStringLiteral("client_id must be 1-64 bytes without blanks");
        b.clientId = value;
    } else if (key == QLatin1String("base_topic")) {
        if (value.isEmpty())
            return QStringLiteral("base_topic must not be empty");
        if (const QString why = topicPrefixProblem(key, value); !why.isEmpty())
            return why;
        b.baseTopic = value;
    } else if (key == QLatin1String("support_url")) {
        if (hasBlank(value) || hasControl(value))
            return QStringLiteral("support_url must be an address without blanks");
        b.supportUrl = value;
    } else if (key == QLatin1String("discovery_prefix")) {
        if (!value.isEmpty())
            if (const QString why = topicPrefixProblem(key, value); !why.isEmpty())
                return why;
        b.discoveryPrefix = value;
    } else
        return QStringLiteral("unknown key '%1' in [broker]").arg(key);
    return {};
}

QString controllerKey(ControllerConfig& c, const QString& key, const QString& value) {
    static const QRegularExpression channelKey(QStringLiteral("^channel([1-8])$"));
    if (key == QLatin1String("port")) {
        QString reason;
        // A device by its full path: a daemon's working folder is no place to look for one.
        std::optional<PortLocation> location = parsePortLocation(value, &reason);
        if (location)
            location = resolvePortName(value, ComMapping::Strict, &reason);
        if (!location)
            return QStringLiteral("port '%1': %2").arg(value, reason);
        c.port = value;
        c.location = *location;
    } else if (key == QLatin1String("name")) {
        if (value.isEmpty() || value.size() > 64 || hasControl(value))
            return QStringLiteral("name must be one line of 1-64 characters");
        c.displayName = value;
    } else if (key == QLatin1String("address")) {
        if (!parseInt(value, 0, 253, &c.address))
            return QStringLiteral("address must be 0-253 (254 is the broadcast address)");
    } else if (key == QLatin1String("series")) {
        if (value != QLatin1String("qx") && value != QLatin1String("5200"))
            return QStringLiteral("series must be qx or 5200");
        c.series = value;
    } else if (key == QLatin1String("poll_interval")) {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        // Written so that NaN fails too.
        if (!ok || !(seconds >= 0.5 && seconds <= 3600))
            return QStringLiteral("poll_interval must be 0.5-3600 seconds");
        c.pollMs = qRound(seconds * 1000);
    } else if (const auto m = channelKey.match(key); m.hasMatch()) {
        if (value.size() > 64 || hasControl(value))
            return QStringLiteral("channel names are one line of at most 64 characters");
        c.channels[m.captured(1).toInt() - 1] = value;
    } else {
        return QStringLiteral("unknown key '%1' in [controller %2]").arg(key, c.name);
    }
    return {};
}

// The value of a `key = value` line, or the reason it is refused: a '#' or ';' after a blank
// would be a comment in many formats, and a comment must never become part of a value.
QString inlineCommentProblem(const QString& value) {
    static const QRegularExpression comment(QStringLiteral("\\s[#;]"));
    if (comment.match(value).hasMatch())
        return QStringLiteral("'#' or ';' after a blank in the value: comments go on lines of "
                              "their own, never after a value");
    return {};
}

} // namespace

QString ControllerConfig::channelName(int channel) const {
    const QString& name = channels[channel - 1];
    return name.isEmpty() ? QStringLiteral("Channel %1").arg(channel) : name;
}

std::optional<Config> parseConfig(const QString& text, ConfigError* error) {
    Config config;
    enum class Section { None, Broker, Controller } section = Section::None;
    QHash<QString, int> sections; // header -> line
    QHash<QString, int> keys;     // key of the current section -> line
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto fail = [error](int line, const QString& reason) {
        *error = {line, reason};
        return std::nullopt;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return fail(lineNo, QStringLiteral("section header without ']'"));
            const QString inside = line.mid(1, line.size() - 2).trimmed();
            const QString word = inside.section(QLatin1Char(' '), 0, 0);
            const QString rest = inside.section(QLatin1Char(' '), 1).trimmed();
            QString header;
            if (inside == QLatin1String("broker")) {
                header = inside;
                section = Section::Broker;
                config.hasBroker = true;
            } else if (word == QLatin1String("controller") && !rest.isEmpty()) {
                if (rest == QLatin1String(BridgeLevel))
                    return fail(lineNo, QStringLiteral("controller name '%1' is taken by the "
                                                       "daemon's own topics (BASE/%1/availability)")
                                            .arg(rest));
                if (!isValidName(rest))
                    return fail(lineNo,
                                QStringLiteral("controller name '%1' must be 1-32 ASCII letters, "
                                               "digits, '_' or '-' (no blanks): it is a topic "
                                               "level; give the name people see with `name = %1` "
                                               "in the section")
                                    .arg(rest));
                header = QStringLiteral("controller ") + rest;
                ControllerConfig c;
                c.name = rest;
                c.line = lineNo;
                config.controllers.append(c);
                section = Section::Controller;
            } else {
                return fail(lineNo, QStringLiteral("unknown section %1 (expected [broker] or "
                                                   "[controller NAME])")
                                        .arg(line));
            }
            if (const int first = sections.value(header); first > 0)
                return fail(
                    lineNo,
                    QStringLiteral("[%1] appears twice (also on line %2)").arg(header).arg(first));
            sections.insert(header, lineNo);
            keys.clear();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(lineNo, QStringLiteral("expected 'key = value'"));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        QString reason;
        if (section == Section::None)
            reason = QStringLiteral("'%1' outside of a section").arg(key);
        else if (const int first = keys.value(key); first > 0)
            reason = QStringLiteral("'%1' set twice in one section (also on line %2)")
                         .arg(key)
                         .arg(first);
        else
            reason = inlineCommentProblem(value);
        if (reason.isEmpty())
            reason = section == Section::Broker
                         ? brokerKey(config.broker, key, value)
                         : controllerKey(config.controllers.last(), key, value);
        if (!reason.isEmpty())
            return fail(lineNo, reason);
        keys.insert(key, lineNo);
    }
    if (config.controllers.isEmpty())
        return fail(0, QStringLiteral("no [controller NAME] section"));
    for (const ControllerConfig& c : config.controllers)
        if (c.port.isEmpty())
            return fail(c.line, QStringLiteral("controller '%1' has no port").arg(c.name));
    return config;
}

std::optional<Config> loadConfig(const QString& path, ConfigError* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = {0, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
        return std::nullopt;
    }
    return parseConfig(QString::fromUtf8(file.readAll()), error);
}

bool validateConfig(const Config& config, ConfigError* error) {
    QSet<QString> seen;
    for (const ControllerConfig& c : config.controllers) {
        const QString key =
            canonicalPortName(c.location) + QLatin1Char('#') + QString::number(c.address);
        if (seen.contains(key)) {
            *error = {c.line,
                      QStringLiteral("controller '%1': another controller has address %2 on "
                                     "the same port")
                          .arg(c.name)
                          .arg(c.address)};
            return false;
        }
        seen.insert(key);
    }
    if (!config.broker.cafile.isEmpty() && !QFileInfo(config.broker.cafile).isReadable()) {
        *error = {0, QStringLiteral("cannot read cafile %1").arg(config.broker.cafile)};
        return false;
    }
    QString reason;
    if (!readPassword(config.broker, &reason)) {
        *error = {0, reason};
        return false;
    }
    return true;
}

QString brokerSummary(const Config& config) {
    if (!config.hasBroker)
        return QStringLiteral("no [broker]: lines are shared only, nothing is published");
    return QStringLiteral("broker %1:%2")
        .arg(config.broker.host)
        .arg(config.broker.effectivePort());
}

std::optional<QString> readPassword(const BrokerConfig& broker, QString* reason) {
    if (broker.passwordFile.isEmpty())
        return broker.password;
    if (!broker.password.isEmpty()) {
        *reason = QStringLiteral("[broker] has both password and password_file");
        return std::nullopt;
    }
    QFile file(broker.passwordFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("cannot read password_file %1: %2")
                      .arg(broker.passwordFile, file.errorString());
        return std::nullopt;
    }
    return QString::fromUtf8(file.readLine()).trimmed();
}

} // namespace vesk::mqtt
