// vesk-mqtt: VESK power controllers on an MQTT broker. Each controller's channels become retained
// state topics and command topics; Home Assistant finds them through discovery. Without a broker
// the daemon only owns and shares its lines. See --help.
#include "daemon.h"
#include "instance.h"
#include "log.h"
#include "options.h"
#include "purge.h"

#include "core/journal.h"
#include "core/quitsignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using namespace vesk::mqtt;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vesk-mqtt"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));
    std::signal(SIGPIPE, SIG_IGN);

    QString output;
    int exitCode = 0;
    const auto options = parseOptions(QCoreApplication::arguments(), &output, &exitCode);
    if (!options) {
        std::fputs(
            qPrintable(output.endsWith(QLatin1Char('\n')) ? output : output + QLatin1Char('\n')),
            exitCode == 0 ? stdout : stderr);
        return exitCode;
    }
    if (options->checkOnly) {
        std::printf("%s: %lld controller(s), configuration valid; %s\n",
                    qPrintable(options->configPath.isEmpty() ? QStringLiteral("command line")
                                                             : options->configPath),
                    static_cast<long long>(options->config.controllers.size()),
                    qPrintable(brokerSummary(options->config)));
        return 0;
    }
    setVerbose(options->verbose);
    if (options->purge)
        return runPurge(options->config, options->purgeName);

    // Before any connection: a second daemon for the same client ids or ports would take the
    // broker connection from the first one and make its availability flap.
    InstanceLock lock;
    QString why;
    qint64 otherPid = 0;
    if (!lock.acquire(options->config, &why, &otherPid)) {
        logLine(why);
        return otherPid != 0 ? ExitAlreadyRunning : ExitFailed;
    }

    vesk::FrameJournal journal;
    if (!options->journalPath.isEmpty() && !journal.open(options->journalPath, &why)) {
        logLine(why);
        return ExitUsage;
    }
    // SIGTERM and SIGINT end the daemon cleanly: every controller is published offline and the
    // ports are closed (their lock files removed). SIGHUP reopens the journal after a log
    // rotation renamed it.
    vesk::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &vesk::QuitSignals::received, &app, [&](int signalNumber) {
        if (signalNumber != SIGHUP) {
            QCoreApplication::quit();
            return;
        }
        QString error;
        if (!options->journalPath.isEmpty() && !journal.reopen(&error))
            logLine(error + QStringLiteral("; nothing is journalled until the next SIGHUP"));
    });
    DaemonOptions daemonOptions;
    daemonOptions.journal = options->journalPath.isEmpty() ? nullptr : &journal;
    daemonOptions.journalPolls = options->journalPolls;
    Daemon daemon(options->config, daemonOptions);
    QString reason;
    if (!daemon.start(&reason)) {
        logLine(reason);
        return ExitFailed;
    }
    logLine(QStringLiteral("vesk-mqtt %1: %2 controller(s); %3")
                .arg(QCoreApplication::applicationVersion())
                .arg(options->config.controllers.size())
                .arg(brokerSummary(options->config)));
    const int rc = app.exec();
    logLine(QStringLiteral("stopping"));
    daemon.stop();
    return rc;
}
