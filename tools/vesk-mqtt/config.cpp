#include "config.h"

#include "portline.h"

#include <QFile>
#include <QFileInfo>
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

// Applies one key of [broker]. Returns an empty string or the reason the line is refused.
QString brokerKey(BrokerConfig& b, const QString& key, const QString& value) {
    if (key == QLatin1String("host"))
        b.host = value;
    else if (key == QLatin1String("port")) {
        if (!parseInt(value, 1, 65535, &b.port))
            return QStringLiteral("port must be 1-65535");
    } else if (key == QLatin1String("username"))
        b.username = value;
    else if (key == QLatin1String("password"))
        b.password = value;
    else if (key == QLatin1String("password_file"))
        b.passwordFile = value;
    else if (key == QLatin1String("cafile"))
        b.cafile = value;
    else if (key == QLatin1String("client_id"))
        b.clientId = value;
    else if (key == QLatin1String("base_topic")) {
        if (value.isEmpty() || value.contains(QRegularExpression(QStringLiteral("[#+\\s]"))) ||
            value.startsWith(QLatin1Char('/')) || value.endsWith(QLatin1Char('/')))
            return QStringLiteral("base_topic must be a topic without wildcards or outer '/'");
        b.baseTopic = value;
    } else if (key == QLatin1String("discovery_prefix"))
        b.discoveryPrefix = value;
    else
        return QStringLiteral("unknown key '%1' in [broker]").arg(key);
    if (b.host.isEmpty())
        return QStringLiteral("host must not be empty");
    return {};
}

QString controllerKey(ControllerConfig& c, const QString& key, const QString& value) {
    static const QRegularExpression channelKey(QStringLiteral("^channel([1-8])$"));
    if (key == QLatin1String("port")) {
        QString reason;
        if (!isPortForm(value, &reason))
            return QStringLiteral("port '%1': %2").arg(value, reason);
        c.port = value;
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
        if (!ok || seconds < 0.5 || seconds > 3600)
            return QStringLiteral("poll_interval must be 0.5-3600 seconds");
        c.pollMs = qRound(seconds * 1000);
    } else if (const auto m = channelKey.match(key); m.hasMatch()) {
        if (value.size() > 64)
            return QStringLiteral("channel names are at most 64 characters");
        c.channels[m.captured(1).toInt() - 1] = value;
    } else {
        return QStringLiteral("unknown key '%1' in [controller %2]").arg(key, c.name);
    }
    return {};
}

} // namespace

QString ControllerConfig::channelName(int channel) const {
    const QString& name = channels[channel - 1];
    return name.isEmpty() ? QStringLiteral("Channel %1").arg(channel) : name;
}

bool isValidName(const QString& name) {
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return valid.match(name).hasMatch();
}

std::optional<Config> parseConfig(const QString& text, ConfigError* error) {
    Config config;
    enum class Section { None, Broker, Controller } section = Section::None;
    QSet<QString> names;
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
            const QStringList words =
                line.mid(1, line.size() - 2).simplified().split(QLatin1Char(' '));
            if (words.size() == 1 && words[0] == QLatin1String("broker")) {
                section = Section::Broker;
            } else if (words.size() == 2 && words[0] == QLatin1String("controller")) {
                if (!isValidName(words[1]))
                    return fail(lineNo, QStringLiteral("controller name '%1' must be 1-32 letters, "
                                                       "digits, '_' or '-'")
                                            .arg(words[1]));
                if (names.contains(words[1]))
                    return fail(lineNo,
                                QStringLiteral("controller '%1' defined twice").arg(words[1]));
                names.insert(words[1]);
                ControllerConfig c;
                c.name = words[1];
                c.line = lineNo;
                config.controllers.append(c);
                section = Section::Controller;
            } else {
                return fail(lineNo, QStringLiteral("unknown section %1 (expected [broker] or "
                                                   "[controller NAME])")
                                        .arg(line));
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(lineNo, QStringLiteral("expected 'key = value'"));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        QString reason;
        if (section == Section::Broker)
            reason = brokerKey(config.broker, key, value);
        else if (section == Section::Controller)
            reason = controllerKey(config.controllers.last(), key, value);
        else
            reason = QStringLiteral("'%1' outside of a section").arg(key);
        if (!reason.isEmpty())
            return fail(lineNo, reason);
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
            canonicalPortKey(c.port) + QLatin1Char('#') + QString::number(c.address);
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
