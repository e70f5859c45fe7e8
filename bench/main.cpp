// vesk-bench: how long the console takes, how much CPU it uses while it waits and how much memory
// it holds, each against its goal; the window runs in this process, start-up in a child.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <cstdio>

#include "app/application.h"
#include "bench/bench.h"
#include "support/simprocess.h"

using namespace vesk::bench;

namespace {

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(message));
    std::exit(2);
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
    parser.setApplicationDescription("Measures the console against vesk-sim; exit code 1 when a "
                                     "goal is missed.");
    parser.addHelpOption();
    parser.addOptions({
        {"runs", "Runs of each repeated measurement (1-50, default 3).", "N", "3"},
        {"quick", "Short intervals and one run, for a smoke check (figures are rougher)."},
        {"sections", "Sections to run, of " + sections + " (default: all).", "LIST", sections},
        {"hour-polls", "Polls in the hour section (default 1800, 180 with --quick).", "N"},
        {"hour-interval", "Poll interval of the hour section (10-2000 ms, default 100).", "MS",
         "100"},
    });
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty())
        fail(parser.errorText() + parser.positionalArguments().join(' '));
    if (parser.isSet("help"))
        parser.showHelp();
    const auto number = [&parser](const char* name, int low, int high) {
        const int value = parser.value(name).toInt(); // 0, out of range, when not a number
        if (value < low || value > high)
            fail(QStringLiteral("--%1 must be %2-%3").arg(name).arg(low).arg(high));
        return value;
    };
    options.quick = parser.isSet("quick");
    options.runs = options.quick && !parser.isSet("runs") ? 1 : number("runs", 1, 50);
    options.hourPolls = parser.isSet("hour-polls") ? number("hour-polls", 2, 100'000)
                        : options.quick            ? 180
                                                   : 1800;
    options.hourIntervalMs = number("hour-interval", 10, 2000);
    options.sections = parser.value("sections").remove(' ').split(',');
    for (const QString& section : options.sections)
        if (!sections.split(',').contains(section))
            fail("unknown section '" + section + "', choose from " + sections);

    SimProcess sim({QStringLiteral("--quiet")}, QStringLiteral(VESK_BENCH_SIM));
    WireTap tap;
    QString error;
    if (!sim.isRunning() || !tap.start(sim.ptyPath(), &error))
        fail("cannot start " VESK_BENCH_SIM ": " + error);
    qputenv("VESKPANEL_COM1", tap.consolePath.toLocal8Bit()); // the port the console starts on

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
