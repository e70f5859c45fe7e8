#include "options.h"

#include <QCommandLineParser>

namespace vesk::bench {

std::optional<Options> parseOptions(const QStringList& arguments, QString* error, QString* help) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the console against the simulated controller and prints a table of figures.\n"
        "Sections: startup, hold, poll, switch, hour. Exit code 1 when a goal is missed."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("Runs of each repeated measurement (default 3)."),
                                  QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption quick(
        QStringLiteral("quick"),
        QStringLiteral("Short intervals and one run, for a smoke check (figures are rougher)."));
    const QCommandLineOption sections(
        QStringLiteral("sections"),
        QStringLiteral("Comma-separated sections to run (default: all)."), QStringLiteral("LIST"));
    const QCommandLineOption panel(QStringLiteral("panel"),
                                   QStringLiteral("The console program for the start-up figures."),
                                   QStringLiteral("PATH"));
    const QCommandLineOption sim(QStringLiteral("sim"),
                                 QStringLiteral("The simulated controller program."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption hourPolls(
        QStringLiteral("hour-polls"),
        QStringLiteral("Polls in the hour section (default 1800, 180 with --quick)."),
        QStringLiteral("N"));
    const QCommandLineOption hourInterval(
        QStringLiteral("hour-interval"),
        QStringLiteral("Poll interval of the hour section in ms (default 100; 2000 for a real "
                       "hour)."),
        QStringLiteral("MS"), QStringLiteral("100"));
    QCommandLineOption probe(QStringLiteral("startup-probe"));
    probe.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({runs, quick, sections, panel, sim, hourPolls, hourInterval, probe});

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

    Options options;
    options.quick = parser.isSet(quick);
    bool ok = false;
    options.runs = parser.value(runs).toInt(&ok);
    if (!ok || options.runs < 1 || options.runs > 50) {
        *error = QStringLiteral("--runs must be 1-50, got '%1'").arg(parser.value(runs));
        return std::nullopt;
    }
    if (parser.isSet(hourPolls)) {
        options.hourPollCount = parser.value(hourPolls).toInt(&ok);
        if (!ok || options.hourPollCount < 2) {
            *error = QStringLiteral("--hour-polls must be 2 or more, got '%1'")
                         .arg(parser.value(hourPolls));
            return std::nullopt;
        }
    }
    options.hourInterval = parser.value(hourInterval).toInt(&ok);
    if (!ok || options.hourInterval < 10 || options.hourInterval > 2000) {
        *error = QStringLiteral("--hour-interval must be 10-2000 ms, got '%1'")
                     .arg(parser.value(hourInterval));
        return std::nullopt;
    }
    if (options.quick && !parser.isSet(runs))
        options.runs = 1;
    if (parser.isSet(sections)) {
        for (const QString& name : parser.value(sections).split(QLatin1Char(','))) {
            const QString section = name.trimmed();
            if (!SectionNames.contains(section)) {
                *error = QStringLiteral("unknown section '%1' (choose from %2)")
                             .arg(section, SectionNames.join(QLatin1Char(',')));
                return std::nullopt;
            }
            options.sections.insert(section);
        }
    } else {
        options.sections.insert(SectionNames.begin(), SectionNames.end());
    }
    if (parser.isSet(panel))
        options.panelProgram = parser.value(panel);
    if (parser.isSet(sim))
        options.simProgram = parser.value(sim);
    options.startupProbe = parser.isSet(probe);
    return options;
}

} // namespace vesk::bench
