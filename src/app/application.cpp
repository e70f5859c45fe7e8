#include "application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>

#include "app/language.h"
#include "core/journal.h"
#include "core/portchoice.h"
#include "core/quitsignals.h"
#include "core/waits.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

namespace vesk {

void setUpApplication(QApplication& app, const QString& program, Language language) {
    // Fusion draws button faces in the colour the palette gives, on every platform.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setFont(toolkit::songti(9));
    app.setApplicationName(program);
    app.setApplicationVersion(QStringLiteral(VESK_VERSION));
    // The installed desktop entry and icon carry this name, so that the desktop's task bar
    // matches the window to its entry and shows the icon.
    const QString desktopId =
        QStringLiteral("example.vesk_power.") + QString(program).replace(u'-', u'_');
    app.setDesktopFileName(desktopId);
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("example.vesk_power.veskpanel")));
    useLanguage(app, language);
}

namespace {

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Console for VESK eight-channel power controllers.\n"
                       "PORT is a device path (/dev/ttyUSB0, /dev/serial/by-id/...), COMn or "
                       "tcp://HOST:PORT; it is used for this run only."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (int n = 1; n <= PortCount; ++n)
        parser.addOption({QStringLiteral("com%1").arg(n),
                          QStringLiteral("Port button COM%1 stands for PORT.").arg(n),
                          QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("lang"),
                      QStringLiteral("The window's language: zh (Chinese, the default) or en "
                                     "(English). Without it: $VESKPANEL_LANG, then language= "
                                     "under [ui] in the settings file, then Chinese."),
                      QStringLiteral("LANG")});
    parser.addOption({QStringLiteral("journal"),
                      QStringLiteral("Append every frame written and read to FILE as a JSON line."),
                      QStringLiteral("FILE")});
}

void printOut(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

std::optional<int> answerInfoOptions(int argc, char** argv, const QString& program) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    describeOptions(parser);
    // Qt's own options (-platform, -reverse ...) are unknown here and left to QApplication; read
    // as long options, their letters are never taken for -h or -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        text.replace(QLatin1String("<executable_name>"), program);
        printOut(text);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        printOut(program + QLatin1Char(' ') + QStringLiteral(VESK_VERSION) + QLatin1Char('\n'));
        return 0;
    }
    return std::nullopt;
}

int runConsole(QApplication& app, BuildProfile profile) {
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);
    std::array<QString, PortCount> given;
    for (int n = 1; n <= PortCount; ++n) {
        given[n - 1] = parser.value(QStringLiteral("com%1").arg(n));
        QString why;
        if (!given[n - 1].isEmpty() && !parsePortLocation(given[n - 1], &why)) {
            std::fprintf(stderr, "%s: --com%d %s: %s\n", qPrintable(profile.program), n,
                         qPrintable(given[n - 1]), qPrintable(why));
            return 2;
        }
    }
    FrameJournal journal;
    const QString journalPath = parser.value(QStringLiteral("journal"));
    if (QString error;
        parser.isSet(QStringLiteral("journal")) && !journal.open(journalPath, &error)) {
        std::fprintf(stderr, "%s: --journal: %s\n", qPrintable(profile.program), qPrintable(error));
        return 2;
    }
    // The command line is answered in English above; the window speaks the chosen language.
    const QString lang = QStringLiteral("lang");
    QString warning;
    const Language language =
        chooseLanguage(parser.isSet(lang) ? std::optional(parser.value(lang)) : std::nullopt,
                       portSettingsPath(), &warning);
    if (!warning.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(profile.program), qPrintable(warning));
    setUpApplication(app, profile.program, language);
    PortChoices choices(given);
    Waits waits;
    WindowSeams seams;
    seams.ports = &choices;
    VESK window(std::move(profile), waits, seams);
    journal.attach(window.port());
    // A signal ends the program the way closing the window does: port closed, lock removed.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &window, [&window] {
        window.close();
        QCoreApplication::quit();
    });
    window.startUp();
    if (waits.closing())
        return 0;
    window.show();
    return app.exec();
}

} // namespace vesk
