// vesk-bench: runs the console against the simulated controller and prints how long it takes, how
// much CPU it uses while it waits and how much memory it holds, each figure against its goal. The
// console window runs in this process; start-up is measured on the real program in a child.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <cstdio>

#include "app/application.h"
#include "bench/bench.h"
#include "support/simprocess.h"
#include "window/toolkit.h"

using namespace vesk::bench;

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(message));
    return 2;
}

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString(file.readLine()).section(' ', 0, 2) : "?";
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vesk::setUpApplication(app, QStringLiteral("veskpanel"));
    if (QApplication::arguments().contains(QStringLiteral("--startup-probe")))
        return runStartupProbe();

    Options options;
    const QString sections = options.sections.join(',');
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the console against the simulated controller and prints a table of figures.\n"
        "Exit code 1 when a goal is missed."));
    parser.addHelpOption();
    parser.addOptions({
        {"runs", "Runs of each repeated measurement (1-50, default 3).", "N", "3"},
        {"quick", "Short intervals and one run, for a smoke check (figures are rougher)."},
        {"sections", "Sections to run, of " + sections + " (default: all).", "LIST", sections},
        {"hour-polls", "Polls in the hour section (default 1800, 180 with --quick).", "N"},
        {"hour-interval", "Poll interval of the hour section (10-2000 ms, default 100).", "MS",
         "100"},
        {"panel", "The console program for the start-up figures.", "PATH", VESK_BENCH_PANEL},
        {"sim", "The simulated controller program.", "PATH", VESK_BENCH_SIM},
    });
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty())
        return fail(parser.errorText() + parser.positionalArguments().join(' '));
    if (parser.isSet("help"))
        parser.showHelp();
    const auto number = [&parser](const char* name, int low, int high) {
        bool ok = false;
        const int value = parser.value(name).toInt(&ok);
        if (!ok || value < low || value > high)
            std::exit(fail(QStringLiteral("--%1 must be %2-%3").arg(name).arg(low).arg(high)));
        return value;
    };
    options.quick = parser.isSet("quick");
    options.runs = options.quick && !parser.isSet("runs") ? 1 : number("runs", 1, 50);
    options.hourPolls = parser.isSet("hour-polls") ? number("hour-polls", 2, 100'000)
                        : options.quick            ? 180
                                                   : 1800;
    options.hourIntervalMs = number("hour-interval", 10, 2000);
    options.panelProgram = parser.value("panel");
    options.sections = parser.value("sections").remove(' ').split(',');
    for (const QString& section : options.sections)
        if (!sections.split(',').contains(section))
            return fail("unknown section '" + section + "', choose from " + sections);

    SimProcess sim({QStringLiteral("--quiet")}, parser.value("sim"));
    WireTap tap;
    QString error;
    if (!sim.isRunning() || !tap.start(sim.ptyPath(), &error))
        return fail("cannot start " + parser.value("sim") + ": " + error);
    // COM1 is the tapped line; the other ports do not exist, as on a machine with one adapter.
    qputenv("VESKPANEL_COM1", tap.consolePath().toLocal8Bit());
    for (const char* name : {"VESKPANEL_COM2", "VESKPANEL_COM3", "VESKPANEL_COM4"})
        qputenv(name, "/nonexistent/vesk-bench");
    // A message box would stop the measurement; note it instead.
    vesk::toolkit::setMessageHook([](const vesk::toolkit::Message& m) {
        std::fprintf(stderr, "vesk-bench: the console showed \"%s\"\n", qPrintable(m.text));
    });

    const QString loadBefore = loadAverage();
    const std::vector<Figure> figures = runBench(options, tap);
    const bool passed = allPassed(figures);
    QTextStream(stdout) << "vesk-bench: " << options.runs << " run(s)"
                        << (options.quick ? ", quick" : "") << ", sections "
                        << options.sections.join(',') << "; load average " << loadBefore
                        << " before, " << loadAverage() << " after\n"
                        << renderTable(figures) << (passed ? "all goals met\n" : "GOALS MISSED\n");
    return passed ? 0 : 1;
}
