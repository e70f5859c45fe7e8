#include "options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

namespace vesk::mqtt {

namespace {

QString configError(const QString& path, const ConfigError& error) {
    return error.line > 0 ? QStringLiteral("%1:%2: %3").arg(path).arg(error.line).arg(error.reason)
                          : QStringLiteral("%1: %2").arg(path, error.reason);
}

} // namespace

std::optional<Options> parseOptions(const QStringList& arguments, QString* output, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Bridges VESK power controllers on serial lines to an MQTT broker, with Home Assistant "
            "discovery.\nEither --config FILE (default %1) or the one-controller form: --broker "
            "mqtt://HOST[:PORT] --port PORT --address N --name NAME.\n"
            "Every line it opens is shared with veskctl and the consoles; a file without a "
            "[broker] section makes a daemon that only owns and shares its lines.\n"
            "Commands on retained messages are never executed. A second vesk-mqtt for the same "
            "client id or port exits with status 3.\n"
            "Exit status: 0 done, 1 could not start, 2 bad command line or configuration, 3 "
            "already running.")
            .arg(QLatin1String(DefaultConfigPath)));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("Configuration file."),
                                    QStringLiteral("FILE"), QLatin1String(DefaultConfigPath));
    const QCommandLineOption check(
        QStringLiteral("check-config"),
        QStringLiteral("Validate the configuration and exit (0 valid, 2 not)."));
    const QCommandLineOption purge(
        QStringLiteral("purge"),
        QStringLiteral("Remove the retained topics (states, availability, discovery) of "
                       "controllers the configuration no longer names, or of controller NAME "
                       "only, list them and exit."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Log every frame."));
    const QCommandLineOption journal(
        QStringLiteral("journal"),
        QStringLiteral("Append one JSON line per switching or settings frame written (with the "
                       "MQTT topic and payload that asked for it) and one per outcome (confirmed, "
                       "not obeyed, no reply) to FILE; SIGHUP reopens it after a log rotation."),
        QStringLiteral("FILE"));
    const QCommandLineOption journalPolls(
        QStringLiteral("journal-polls"),
        QStringLiteral("With --journal: also every status query and its reply."));
    const QCommandLineOption broker(QStringLiteral("broker"), QStringLiteral("Broker URL."),
                                    QStringLiteral("mqtt://HOST[:PORT]"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port: device path, COMn or tcp://HOST:PORT."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Controller address (default 1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("Controller name in the topics (default vesk1)."),
                                  QStringLiteral("NAME"), QStringLiteral("vesk1"));
    parser.addOptions(
        {config, check, purge, verbose, journal, journalPolls, broker, port, address, name});
    parser.addPositionalArgument(QStringLiteral("NAME"),
                                 QStringLiteral("With --purge: the one controller to remove."),
                                 QStringLiteral("[NAME]"));

    *exitCode = ExitUsage;
    if (!parser.parse(arguments)) {
        *output = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *output = parser.helpText();
        *exitCode = 0;
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        *output = QStringLiteral("vesk-mqtt %1\n").arg(QCoreApplication::applicationVersion());
        *exitCode = 0;
        return std::nullopt;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (parser.isSet(purge) ? 1 : 0)) {
        *output = QStringLiteral("unexpected argument: %1").arg(positional.last());
        return std::nullopt;
    }
    if (parser.isSet(purge) && parser.isSet(check)) {
        *output = QStringLiteral("--purge and --check-config exclude each other");
        return std::nullopt;
    }

    Options options;
    options.purge = parser.isSet(purge);
    options.purgeName = positional.value(0);
    if (!options.purgeName.isEmpty() && !isValidName(options.purgeName)) {
        *output = QStringLiteral("--purge: '%1' is not a controller name").arg(options.purgeName);
        return std::nullopt;
    }
    options.checkOnly = parser.isSet(check);
    options.verbose = parser.isSet(verbose);
    options.journalPath = parser.value(journal);
    options.journalPolls = parser.isSet(journalPolls);
    if (options.journalPolls && options.journalPath.isEmpty()) {
        *output = QStringLiteral("--journal-polls needs --journal FILE");
        return std::nullopt;
    }
    ConfigError error;
    if (parser.isSet(broker) || parser.isSet(port)) {
        if (parser.isSet(config) || !parser.isSet(broker) || !parser.isSet(port)) {
            *output = QStringLiteral(
                "the one-controller form needs --broker and --port, and no --config");
            return std::nullopt;
        }
        static const QRegularExpression url(QStringLiteral("^mqtt://([^:/]+)(?::(\\d+))?/?$"));
        const auto m = url.match(parser.value(broker));
        if (!m.hasMatch()) {
            *output = QStringLiteral("--broker must be mqtt://HOST[:PORT], got '%1'")
                          .arg(parser.value(broker));
            return std::nullopt;
        }
        for (const auto* option : {&name, &port, &address})
            if (parser.value(*option).contains(QLatin1Char('\n'))) {
                *output = QStringLiteral("--%1 must be one line").arg(option->names().first());
                return std::nullopt;
            }
        // The same checks as the file, by writing the file the options stand for.
        const QString text =
            QStringLiteral("[broker]\nhost = %1\n%2[controller %3]\nport = %4\naddress = %5\n")
                .arg(m.captured(1),
                     m.captured(2).isEmpty() ? QString()
                                             : QStringLiteral("port = %1\n").arg(m.captured(2)),
                     parser.value(name), parser.value(port), parser.value(address));
        const auto parsed = parseConfig(text, &error);
        if (!parsed) {
            *output = QStringLiteral("command line: %1").arg(error.reason);
            return std::nullopt;
        }
        options.config = *parsed;
    } else {
        options.configPath = parser.value(config);
        const auto parsed = loadConfig(options.configPath, &error);
        if (!parsed) {
            *output = configError(options.configPath, error);
            return std::nullopt;
        }
        options.config = *parsed;
    }
    if (!validateConfig(options.config, &error)) {
        *output =
            options.configPath.isEmpty() ? error.reason : configError(options.configPath, error);
        return std::nullopt;
    }
    if (options.purge && !options.config.hasBroker) {
        *output = QStringLiteral("--purge: %1 has no [broker]: there is nothing to remove")
                      .arg(options.configPath);
        return std::nullopt;
    }
    for (const ControllerConfig& c : options.config.controllers)
        if (c.name == options.purgeName) {
            *output = QStringLiteral("--purge: '%1' is a configured controller; remove or rename "
                                     "its section first")
                          .arg(c.name);
            return std::nullopt;
        }
    return options;
}

} // namespace vesk::mqtt
