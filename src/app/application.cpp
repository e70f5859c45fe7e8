#include "application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include "core/waits.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

namespace vesk {

void setUpApplication(QApplication& app, const QString& program) {
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

    // Qt's own texts (message box buttons) in Chinese, where Qt's translations are installed.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

int runConsole(QApplication& app, BuildProfile profile) {
    setUpApplication(app, profile.program);
    Waits waits;
    VESK window(std::move(profile), waits);
    window.startUp();
    if (waits.closing())
        return 0;
    window.show();
    return app.exec();
}

} // namespace vesk
