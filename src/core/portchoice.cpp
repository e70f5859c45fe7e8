#include "portchoice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "core/serialport.h"

namespace vesk {

namespace {
// English texts; the consoles install a translation for them, the command-line tools none.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PortChoices)
};
} // namespace

namespace {

QString key(int commPort) {
    return QStringLiteral("COM%1").arg(commPort);
}

QString sourceName(PortSource source) {
    switch (source) {
    case PortSource::CommandLine:
        return QStringLiteral("--com");
    case PortSource::Environment:
        return QStringLiteral("VESKPANEL_COM");
    case PortSource::Saved:
        return Texts::tr("saved COM");
    case PortSource::Default:
        break;
    }
    return {};
}

} // namespace

std::array<ResolvedPort, PortCount> resolvePorts(const PortInputs& in, QStringList* warnings) {
    std::array<std::optional<ResolvedPort>, PortCount> given;
    QStringList taken; // devices named explicitly are no default for another port
    for (int i = 0; i < PortCount; ++i) {
        for (const auto& [source, text] : {std::pair{PortSource::CommandLine, in.commandLine[i]},
                                           std::pair{PortSource::Environment, in.environment[i]},
                                           std::pair{PortSource::Saved, in.saved[i]}}) {
            if (text.isEmpty())
                continue;
            QString why;
            if (const auto location = parsePortLocation(text, &why)) {
                given[i] = ResolvedPort{*location, source};
                taken << location->path;
                break;
            }
            if (warnings)
                *warnings << Texts::tr("%1%2 \"%3\" is not a port (%4); using the next source")
                                 .arg(sourceName(source))
                                 .arg(i + 1)
                                 .arg(text, why);
        }
    }
    QStringList adapters = in.adapters;
    adapters.removeIf([&taken](const QString& path) { return taken.contains(path); });
    std::array<ResolvedPort, PortCount> out;
    for (int i = 0; i < PortCount; ++i) {
        if (given[i]) {
            out[i] = *given[i];
            continue;
        }
        // The adapters go to the ports that no other source took, in turn.
        PortLocation location;
        if (!adapters.isEmpty()) {
            location.path = adapters.takeFirst();
        } else if (in.windows) {
            location.kind = PortLocation::Kind::WindowsCom;
            location.path = key(i + 1);
        } else {
            location.path = QStringLiteral("/dev/ttyS%1").arg(i);
        }
        out[i] = {location, PortSource::Default};
    }
    return out;
}

QStringList usbAdapters(const QString& devDir, const QString& byIdDir) {
    // Canonical device -> its stable link.
    QMap<QString, QString> links;
    const QDir byId(byIdDir);
    for (const QString& name : byId.entryList(QDir::Files | QDir::System, QDir::Name))
        links.insert(QFileInfo(byId.filePath(name)).canonicalFilePath(), byId.filePath(name));
    QStringList out;
    const QDir dev(devDir);
    // Filtered by hand: a name filter would compile a regular expression at start-up.
    const QStringList all = dev.entryList(QDir::Files | QDir::System);
    for (const char* family : {"ttyUSB", "ttyACM"}) {
        const QString prefix = QString::fromLatin1(family);
        QStringList names;
        std::copy_if(all.begin(), all.end(), std::back_inserter(names),
                     [&prefix](const QString& name) { return name.startsWith(prefix); });
        // ttyUSB2 before ttyUSB10.
        std::sort(names.begin(), names.end(), [&prefix](const QString& a, const QString& b) {
            return a.mid(prefix.size()).toInt() < b.mid(prefix.size()).toInt();
        });
        for (const QString& name : names) {
            const QString path = dev.filePath(name);
            out << links.value(QFileInfo(path).canonicalFilePath(), path);
        }
    }
    return out;
}

QString portSettingsPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/veskpanel/veskpanel.conf");
}

void warnOnce(const QString& line) {
    static QSet<QString> said;
    if (said.contains(line))
        return;
    said.insert(line);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

PortChoices::PortChoices(std::array<QString, PortCount> commandLine, QString settingsPath,
                         QObject* parent)
    : QObject(parent), m_path(std::move(settingsPath)) {
    m_inputs.commandLine = std::move(commandLine);
    for (int i = 0; i < PortCount; ++i)
        m_inputs.environment[i] =
            qEnvironmentVariable(qPrintable(QStringLiteral("VESKPANEL_COM%1").arg(i + 1)));
#ifdef Q_OS_WIN
    m_inputs.windows = true;
#else
    m_inputs.adapters = usbAdapters();
#endif
    const QFileInfo file(m_path);
    if (file.exists() && !file.isReadable()) {
        warnOnce(Texts::tr("%1: cannot be read; saved port choices are not used").arg(m_path));
    } else {
        QSettings settings(m_path, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError)
            warnOnce(Texts::tr("%1: cannot be read; saved port choices are not used").arg(m_path));
        else
            for (int i = 0; i < PortCount; ++i)
                m_inputs.saved[i] =
                    settings.value(QStringLiteral("ports/") + key(i + 1)).toString();
    }
    resolve();
}

void PortChoices::resolve() {
    QStringList warnings;
    m_ports = resolvePorts(m_inputs, &warnings);
    for (const QString& line : warnings)
        warnOnce(line);
    for (int i = 0; i < PortCount; ++i) {
        if (m_chosen[i])
            m_ports[i] = {*m_chosen[i], PortSource::Saved};
    }
}

bool PortChoices::writeSaved(int commPort, const QString& value) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings settings(m_path, QSettings::IniFormat);
    if (value.isEmpty())
        settings.remove(QStringLiteral("ports/") + key(commPort));
    else
        settings.setValue(QStringLiteral("ports/") + key(commPort), value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    warnOnce(Texts::tr("%1: cannot be written; port choices are not saved").arg(m_path));
    return false;
}

bool PortChoices::choose(int commPort, const PortLocation& location) {
    m_chosen[commPort - 1] = location;
    m_inputs.saved[commPort - 1] = location.text();
    const bool stored = writeSaved(commPort, location.text());
    resolve();
    emit changed(commPort);
    return stored;
}

void PortChoices::forget(int commPort) {
    m_chosen[commPort - 1].reset();
    m_inputs.saved[commPort - 1].clear();
    writeSaved(commPort, QString());
    resolve();
    emit changed(commPort);
}

void PortChoices::applyTo(SerialPortControl& port) const {
    for (int i = 0; i < PortCount; ++i)
        port.setLocationFor(i + 1, m_ports[i].location);
}

} // namespace vesk
