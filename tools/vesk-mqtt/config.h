// The daemon's configuration: one INI-style file with an optional [broker] section and one
// [controller NAME] section per controller. Parsed line by line, so that every error names its
// line.
#pragma once

#include "topics.h"

#include "core/portlocation.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace vesk::mqtt {

struct BrokerConfig {
    QString host = QStringLiteral("localhost");
    int port = 0; // 0: 1883, or 8883 with TLS
    QString username;
    QString password; // never logged or printed
    QString passwordFile;
    QString cafile; // TLS when set
    QString clientId = QStringLiteral("vesk-mqtt");
    QString baseTopic = QStringLiteral("vesk");
    QString discoveryPrefix = QStringLiteral("homeassistant"); // empty: no discovery
    QString supportUrl; // announced to Home Assistant as the origin's support address when set

    int effectivePort() const { return port ? port : (cafile.isEmpty() ? 1883 : 8883); }
};

struct ControllerConfig {
    QString name;          // the topic level: ASCII
    QString displayName;   // for people: any text; empty: the name
    QString port;          // as written
    PortLocation location; // the port it names (COMn mapped as for every script)
    int address = 1;
    QString series = QStringLiteral("qx");
    int pollMs = 2000;
    std::array<QString, 8> channels; // empty: "Channel N"
    int line = 0;

    QString channelName(int channel) const;
    // The name people see: in Home Assistant and in log lines.
    QString shownName() const { return displayName.isEmpty() ? name : displayName; }
};

struct Config {
    // False when the file has no [broker] section: the daemon then owns and shares its lines and
    // connects nowhere. An empty [broker] section means a broker with every default.
    bool hasBroker = false;
    BrokerConfig broker;
    QList<ControllerConfig> controllers;
};

struct ConfigError {
    int line = 0; // 0: the file as a whole
    QString reason;
};

std::optional<Config> parseConfig(const QString& text, ConfigError* error);
std::optional<Config> loadConfig(const QString& path, ConfigError* error);

// Checks what parsing alone cannot: one controller per port and address, the CA file and the
// password file readable. Sets `error` and returns false at the first problem.
bool validateConfig(const Config& config, ConfigError* error);

// Where the daemon publishes, for --check-config and the start-up line: "broker HOST:PORT", or
// that it publishes nothing.
QString brokerSummary(const Config& config);

// The password itself, or the first line of the password file.
std::optional<QString> readPassword(const BrokerConfig& broker, QString* reason);

} // namespace vesk::mqtt
