#include "request.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "commands.h"

namespace vesk::ctl {

namespace {

const char* const Commands = R"(Commands:
  status [CH...]                  read the eight channel states; with channels, exit 0
                                  when all of them are on and 1 when any is off
  on CH... | off CH...            switch channels (1-8), then read back
  cycle CH... [--dwell SECONDS]   off, wait (default 5 s), on, read back
  all-on | all-off                the controller's timed sequence by its stored delays
  switch [--on CH,..] [--off CH,..] [--after N{s|m|h}]
                                  the multi-channel command: listed channels take part
  states CH,..|none               write the channel state mask: the listed channels on
                                  (a stored setting; not read back)
  delays on|off S1 S2 .. S8       write eight on- or off-delays in seconds (0-65279)
  interlock set|clear PAIR        QX series, PAIR = 1-2, 3-4, 5-6 or 7-8
  interlocks PAIR,..|none         5200 series: all interlocked pairs in one frame
  power-on last|custom [CH,..]    power-on mode; custom with the channels to come on
  keys lock|unlock                the controller's front-panel keys
  set-address -b NEW              write a new device address (1-253) through the broadcast
                                  address: every controller on the line takes it

Stored settings (address, interlocks, delays, power-on state) take effect when the controllers
restart. A status query to the broadcast address (-b or -a 254) prints the states of whichever
controller answered, with its address; replies of several controllers collide and are no reply.
SIGINT, SIGTERM and SIGHUP end a command after the frame being written, with one line telling
what was sent and the state the channels were left in.

Exit codes:
  0  done (and, where the command reads back, the device confirmed it)
  1  status CH...: a channel named is off
  2  bad arguments or values; nothing was opened or sent
  3  the port could not be opened (missing, busy, no permission) or failed while in use
  4  no reply within the timeout
  5  the device answered, but the read-back differs from what was asked (for cycle: the
     power was never cut)
  129, 130, 143  ended by SIGHUP, SIGINT or SIGTERM
)";

// A whole number in [low, high] written with digits only.
std::optional<int> number(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

Parsed parseArguments(const QStringList& arguments) {
    Parsed parsed;
    // Known before parsing, so that even a bad command line is answered in JSON.
    parsed.json = arguments.sliced(1).contains(QStringLiteral("--json"));
    auto fail = [&parsed](const QString& message) {
        parsed.error = message;
        parsed.exitCode = Exit::BadInput;
        return parsed;
    };
    // A negative number would otherwise read as an unknown option; no value here may be negative.
    static const QRegularExpression negative(QStringLiteral("^-[0-9.]"));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (negative.match(arguments[i]).hasMatch())
            return fail(
                QStringLiteral("bad value '%1': no value may be negative").arg(arguments[i]));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drives a VESK power controller from a shell: every operation of the "
                       "console, with exit codes a script can trust."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("A device path, COM1..COM4 or tcp://HOST:PORT "
                                                 "(default COM1)."),
                                  QStringLiteral("PORT"), QStringLiteral("COM1"));
    const QCommandLineOption address({QStringLiteral("a"), QStringLiteral("address")},
                                     QStringLiteral("Device address 1-254 (default 1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption broadcast(
        {QStringLiteral("b"), QStringLiteral("broadcast")},
        QStringLiteral("Use the broadcast address 254, as -a 254 does (no "
                       "read-back; set-address needs it)."));
    const QCommandLineOption timeout({QStringLiteral("t"), QStringLiteral("timeout")},
                                     QStringLiteral("How long to wait for a reply (default 1000)."),
                                     QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Machine-readable output: one JSON object."));
    const QCommandLineOption dryRun({QStringLiteral("n"), QStringLiteral("dry-run")},
                                    QStringLiteral("Print the frames in hex, one per line, and "
                                                   "open nothing."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Print nothing but errors."));
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("Append every frame written and read to FILE "
                                                    "as a JSON line."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("Queue up to SECONDS for a port held by another "
                                                 "program (default 0: fail at once)."),
                                  QStringLiteral("SECONDS"), QStringLiteral("0"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
                                      QStringLiteral("Skip the read-back after a switch."));
    const QCommandLineOption dwell(QStringLiteral("dwell"),
                                   QStringLiteral("cycle: seconds between off and on (default 5)."),
                                   QStringLiteral("SECONDS"));
    const QCommandLineOption onList(QStringLiteral("on"),
                                    QStringLiteral("switch: channels to turn on."),
                                    QStringLiteral("CH,.."));
    const QCommandLineOption offList(QStringLiteral("off"),
                                     QStringLiteral("switch: channels to turn off."),
                                     QStringLiteral("CH,.."));
    const QCommandLineOption after(QStringLiteral("after"),
                                   QStringLiteral("switch: delay, N s|m|h (0-59 s or m, 0-15 h)."),
                                   QStringLiteral("N{s|m|h}"));
    parser.addOptions({port, address, broadcast, timeout, json, dryRun, quiet, journal, wait,
                       noVerify, dwell, onList, offList, after});
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("See below."),
                                 QStringLiteral("COMMAND [ARGS]"));

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        parsed.output = parser.helpText() + QLatin1Char('\n') + QLatin1String(Commands);
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.output = QStringLiteral("veskctl %1\n").arg(QStringLiteral(VESK_VERSION));
        return parsed;
    }

    Request request;
    request.port = parser.value(port);
    request.json = parser.isSet(json);
    request.dryRun = parser.isSet(dryRun);
    request.quiet = parser.isSet(quiet);
    request.verify = !parser.isSet(noVerify);
    request.journal = parser.value(journal);
    if (parser.isSet(journal) && request.journal.isEmpty())
        return fail(QStringLiteral("bad journal file '': give a file name"));
    if (request.port.isEmpty())
        return fail(
            QStringLiteral("bad port '': give a device path, COM1..COM4 or tcp://HOST:PORT"));
    const auto addressValue = number(parser.value(address), 1, 254);
    if (!addressValue)
        return fail(QStringLiteral("bad address '%1' (1-254)").arg(parser.value(address)));
    request.address = quint8(*addressValue);
    if (parser.isSet(broadcast)) {
        if (parser.isSet(address))
            return fail(QStringLiteral("bad option '--broadcast': -a and -b exclude each other"));
        request.address = 254;
    }
    // 254 is the broadcast address however it is given.
    request.broadcast = request.address == 254;
    const auto waitValue = number(parser.value(wait), 0, 86400);
    if (!waitValue)
        return fail(QStringLiteral("bad wait '%1' (0-86400 seconds)").arg(parser.value(wait)));
    request.waitSeconds = *waitValue;
    const auto timeoutValue = number(parser.value(timeout), 1, 600000);
    if (!timeoutValue)
        return fail(QStringLiteral("bad timeout '%1' (1-600000 ms)").arg(parser.value(timeout)));
    request.timeoutMs = *timeoutValue;

    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return fail(QStringLiteral("missing command (see veskctl --help)"));
    request.words = words.join(QLatin1Char(' '));
    request.command = words.takeFirst();

    CommandOptions options;
    if (parser.isSet(dwell))
        options.dwell = parser.value(dwell);
    if (parser.isSet(onList))
        options.on = parser.value(onList);
    if (parser.isSet(offList))
        options.off = parser.value(offList);
    if (parser.isSet(after))
        options.after = parser.value(after);
    if (const QString error = buildCommand(request, words, options); !error.isEmpty())
        return fail(error);
    parsed.request = request;
    return parsed;
}

} // namespace vesk::ctl
