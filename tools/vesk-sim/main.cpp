// vesk-sim: a simulated eight-channel power controller on a pseudo-terminal, for testing the
// console without hardware. See --help for the options and the console commands on stdin.
#include "bus.h"
#include "controlconsole.h"
#include "options.h"
#include "serialendpoint.h"
#include "simlog.h"
#include "simulator.h"

#include "core/quitsignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace vesk::sim;

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vesk-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vesk-sim"));
    std::signal(SIGPIPE, SIG_IGN); // a closed stdout or line must not kill the simulator

    QString error;
    QString help;
    const auto options = parseOptions(QCoreApplication::arguments(), &error, &help);
    if (!options) {
        if (!help.isEmpty()) {
            std::fputs(qPrintable(help), stdout);
            return 0;
        }
        std::fprintf(stderr, "vesk-sim: %s\n", qPrintable(error));
        return 2;
    }

    SimLog log;
    if (!log.open(options->logFile, options->quiet, &error))
        return fail(error);

    SerialEndpoint endpoint;
    const bool opened = options->devicePath.isEmpty()
                            ? endpoint.openPty(&error)
                            : endpoint.openDevice(options->devicePath, &error);
    if (!opened)
        return fail(error);
    if (!options->linkPath.isEmpty() && !endpoint.createLink(options->linkPath, &error))
        return fail(error);

    Bus bus(options->addresses, options->timeScale);
    Simulator simulator(bus, endpoint, log);
    ControlConsole console(STDIN_FILENO);
    vesk::QuitSignals quitSignals;

    QObject::connect(&console, &ControlConsole::command, &simulator, &Simulator::execute);
    // Started in the background by a script (or with < /dev/null), the simulator has no commands
    // to read: it keeps serving the line until `quit` or a signal ends it.
    QObject::connect(&console, &ControlConsole::endOfInput, &simulator, [&log] {
        log.line(QStringLiteral("stdin closed: no more commands; running until SIGTERM, SIGINT "
                                "or SIGHUP"));
    });
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit);
    QObject::connect(&quitSignals, &vesk::QuitSignals::received, &app, [&](int signal) {
        log.line(QStringLiteral("signal %1, exiting").arg(signal));
        QCoreApplication::quit();
    });

    // The first stdout line tells the caller where to connect. Everything is ready by then: the
    // link exists and signals are handled.
    std::fprintf(stdout, "PTY %s\n", qPrintable(endpoint.path()));
    std::fflush(stdout);
    log.line(QStringLiteral("started on %1, %2 %3, time scale %4")
                 .arg(endpoint.path(),
                      options->addresses.size() == 1 ? QStringLiteral("address")
                                                     : QStringLiteral("addresses"),
                      addressesText(options->addresses))
                 .arg(options->timeScale));

    const int status = QCoreApplication::exec();
    log.line(QStringLiteral("exit"));
    return status;
}
