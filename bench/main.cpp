// vesk-bench: runs the console against the simulated controller and prints how long it takes,
// how much CPU it uses while it waits and how much memory it holds, each figure against its goal.
//
// The console window runs in this process on a pseudo-terminal; the wire tap passes its bytes to
// vesk-sim and notes the time of each. CPU is the console thread's own CPU time, so the tap's
// thread and the simulator do not count. Start-up is measured on the real program in a child
// process.
#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

#include "app/application.h"
#include "bench/figures.h"
#include "bench/options.h"
#include "bench/sessions.h"
#include "bench/wiretap.h"
#include "toolkit/toolkit.h"

using namespace vesk::bench;

namespace {

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::int64_t mainEntered = monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vesk::setUpApplication(app, QStringLiteral("veskpanel"));
    const std::int64_t appReady = monotonicNs();

    QString error;
    QString help;
    std::optional<Options> options = parseOptions(QApplication::arguments(), &error, &help);
    if (!options) {
        if (!help.isEmpty()) {
            std::fputs(qPrintable(help), stdout);
            return 0;
        }
        std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(error));
        return 2;
    }
    if (options->startupProbe)
        return runStartupProbe(app, mainEntered, appReady);
    if (options->panelProgram.isEmpty())
        options->panelProgram = QStringLiteral(VESK_BENCH_PANEL);
    if (options->simProgram.isEmpty())
        options->simProgram = QStringLiteral(VESK_BENCH_SIM);

    SimulatorProcess sim;
    if (!sim.start(options->simProgram, &error)) {
        std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(error));
        return 2;
    }
    WireTap tap;
    if (!tap.start(sim.ptyPath(), &error)) {
        std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(error));
        return 2;
    }
    // COM1 is the tapped line; the other ports do not exist, as on a machine with one adapter.
    qputenv("VESKPANEL_COM1", tap.consolePath().toLocal8Bit());
    qputenv("VESKPANEL_COM2", "/nonexistent/vesk-bench-com2");
    qputenv("VESKPANEL_COM3", "/nonexistent/vesk-bench-com3");
    qputenv("VESKPANEL_COM4", "/nonexistent/vesk-bench-com4");

    const QString loadBefore = loadAverage();
    Bench bench(*options, tap);
    const std::vector<Figure> figures = bench.run();
    const QString loadAfter = loadAverage();

    QTextStream out(stdout);
    out << QStringLiteral(
               "vesk-bench: %1 run(s)%2, sections %3; load average %4 before, %5 after\n")
               .arg(options->runs)
               .arg(options->quick ? QStringLiteral(", quick") : QString())
               .arg(QStringList(options->sections.begin(), options->sections.end())
                        .join(QLatin1Char(',')))
               .arg(loadBefore, loadAfter)
        << renderTable(figures);
    const bool passed = allPassed(figures);
    out << (passed ? QStringLiteral("all goals met\n") : QStringLiteral("GOALS MISSED\n"));
    out.flush();
    tap.stop();
    return passed ? 0 : 1;
}
