#include "options.h"

#include <QCommandLineParser>

#include <cmath>

namespace vesk::sim {

std::optional<SimOptions> parseOptions(const QStringList& arguments, QString* error,
                                       QString* help) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated eight-channel power controller on a pseudo-terminal.\n"
        "Console commands on stdin: state, restart, send <hex bytes>, ignore-switches on|off,\n"
        "hangup, quit."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Device address 0-255 (default 1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption timeScale(
        QStringLiteral("time-scale"),
        QStringLiteral("Run device-side delays F times faster (default 1)."), QStringLiteral("F"),
        QStringLiteral("1"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write the log to FILE instead of stderr."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Write no log."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Use an existing tty at PATH (9600 8N1, raw) instead of a pseudo-terminal."),
        QStringLiteral("PATH"));
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Create a symlink PATH to the pseudo-terminal, removed on exit."),
        QStringLiteral("PATH"));
    parser.addOptions({address, timeScale, log, quiet, device, link});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(helpOption)) {
        *help = parser.helpText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    SimOptions options;
    bool ok = false;
    const int addressValue = parser.value(address).toInt(&ok, 0);
    if (!ok || addressValue < 0 || addressValue > 255) {
        *error = QStringLiteral("--address must be 0-255, got '%1'").arg(parser.value(address));
        return std::nullopt;
    }
    options.address = static_cast<quint8>(addressValue);
    options.timeScale = parser.value(timeScale).toDouble(&ok);
    if (!ok || !std::isfinite(options.timeScale) || options.timeScale <= 0) {
        *error = QStringLiteral("--time-scale must be a positive number, got '%1'")
                     .arg(parser.value(timeScale));
        return std::nullopt;
    }
    options.logFile = parser.value(log);
    options.quiet = parser.isSet(quiet);
    options.devicePath = parser.value(device);
    options.linkPath = parser.value(link);
    if (!options.devicePath.isEmpty() && !options.linkPath.isEmpty()) {
        *error = QStringLiteral("--link only applies to the pseudo-terminal, not to --device");
        return std::nullopt;
    }
    return options;
}

} // namespace vesk::sim
