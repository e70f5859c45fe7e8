#include "tcplink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace vesk {

namespace {

// Where the module is: a program run from the build tree takes the one built with it, an installed
// program the one installed with it (a path relative to its own directory, so that an unpacked or
// relocated installation works too).
QString modulePath() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString buildDir = QFileInfo(QStringLiteral(VESK_BUILD_DIR)).canonicalFilePath();
    if (!buildDir.isEmpty() && programDir.startsWith(buildDir + u'/'))
        return QStringLiteral(VESK_BUILD_MODULE);
    return QDir::cleanPath(programDir + QStringLiteral("/" VESK_INSTALLED_MODULE));
}

TcpLinkFactory* factory(QString* why) {
    // Loaded once and kept for the life of the process: links may exist until it ends. A module
    // that is missing is looked for again at the next open (it may be in the middle of an upgrade).
    static TcpLinkFactory* loaded = nullptr;
    if (!loaded) {
        const QString path = modulePath();
        QPluginLoader loader(path);
        loaded = qobject_cast<TcpLinkFactory*>(loader.instance());
        if (!loaded && why)
            *why = QStringLiteral("%1: %2").arg(path, loader.errorString());
    }
    return loaded;
}

} // namespace

std::unique_ptr<TcpLink> createTcpLink(QString* why) {
    TcpLinkFactory* f = factory(why);
    return f ? f->create() : nullptr;
}

std::unique_ptr<LocalLink> createLocalLink(QString* why) {
    TcpLinkFactory* f = factory(why);
    return f ? f->createLocal() : nullptr;
}

} // namespace vesk

namespace vesk {

std::unique_ptr<LocalListener> createLocalListener(QString* why) {
    TcpLinkFactory* f = factory(why);
    return f ? f->createListener() : nullptr;
}

} // namespace vesk
