#include "options.h"

#include "bus.h"

#include <QCommandLineParser>

#include <cmath>

namespace vesk::sim {

std::optional<SimOptions> parseOptions(const QStringList& arguments, QString* error,
                                       QString* help) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated eight-channel power controllers on a pseudo-terminal: one, or several on one\n"
        "line (--address 1-40), each with its own states and settings, answering its own address.\n"
        "Frames to the broadcast address 254 reach all of them; replies sent at the same moment\n"
        "overlap on the line and are ANDed byte for byte (the idle level is 1).\n"
        "\n"
        "Console commands on stdin (ADDRS: one address or a list like --address, default all):\n"
        "  state [ADDRS]                  state as one JSON line: a controller's object, or\n"
        "                                 {\"controllers\": [...]} for several\n"
        "  restart [ADDRS]                power cycle: a written address takes effect\n"
        "  send <hex bytes>               put raw bytes on the line\n"
        "  ignore-switches on|off [ADDRS] take single-channel switches but change nothing\n"
        "  mute ADDRS on|off              off the line: hear no frame, send nothing\n"
        "  hangup                         close the line as an unplugged adapter would\n"
        "  quit\n"
        "\n"
        "When stdin ends (started with & in a script, or < /dev/null) the simulator keeps\n"
        "running; SIGTERM, SIGINT or SIGHUP end it, removing its --link. Its first stdout line\n"
        "is \"PTY <path>\" once it is ready."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption address(
        QStringLiteral("address"),
        QStringLiteral("Controller addresses 0-255: one (default 1), a range or a "
                       "list such as 1-40 or 1,3,5-9."),
        QStringLiteral("ADDRS"), QStringLiteral("1"));
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
    QString why;
    const auto addresses = parseAddresses(parser.value(address), &why);
    if (!addresses) {
        *error = QStringLiteral("--address must be addresses 0-255 such as 1, 1-40 or 1,3,5-9, "
                                "got '%1'%2")
                     .arg(parser.value(address),
                          why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
        return std::nullopt;
    }
    options.addresses = *addresses;
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
