#include "application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include "link/delay.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

void setUpApplication(QApplication& app, const QString& program) {
    // Fusion draws button faces in the colour the palette gives, on every platform.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setFont(toolkit::songti(9));
    app.setApplicationName(program);
    app.setApplicationVersion(QStringLiteral(VESK_VERSION));

    // Qt's own texts (message box buttons) in Chinese, where Qt's translations are installed.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

int runConsole(QApplication& app, BuildProfile profile) {
    setUpApplication(app, profile.program);
    VESK window(std::move(profile));
    window.startUp();
    if (shuttingDown())
        return 0;
    window.show();
    return app.exec();
}

} // namespace vesk
