#include "journal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/frames.h"
#include "core/line.h"
#include "core/serialport.h"

#include <memory>
#include <optional>
#include <utility>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace vesk {

namespace {

// A string as a JSON value, quotes and escapes included.
QByteArray jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The account the process runs as: on Unix by its user id rather than an environment variable
// that anyone can set, on Windows from USERNAME.
QString userName() {
#ifdef Q_OS_UNIX
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::geteuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

} // namespace

bool FrameJournal::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        *error = QStringLiteral("journal file '%1': %2").arg(path, m_file.errorString());
        return false;
    }
    // The program by its file name (veskpanel and veskpanel-classic share an application name).
    QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (program.isEmpty())
        program = QCoreApplication::applicationName();
    m_who = "\"prog\": " + jsonString(program) +
            ", \"pid\": " + QByteArray::number(QCoreApplication::applicationPid()) +
            ", \"user\": " + jsonString(userName());
    return true;
}

void FrameJournal::attach(SerialPortControl& port) {
    // Resolved once per open: the canonical path of the open device cannot change while it is
    // open, and a journal line must not cost a file-system lookup.
    auto cache = std::make_shared<std::pair<std::optional<PortLocation>, QString>>();
    const auto name = [&port, cache] {
        const auto location = port.currentLocation();
        if (!location)
            return QString();
        if (cache->first != location)
            *cache = {location, canonicalPortName(*location)};
        return cache->second;
    };
    // A reopened link may lead to another device now (an adapter re-plugged under a new number).
    connect(&port, &SerialPortControl::opened, this, [cache] { cache->first.reset(); });
    connect(&port, &SerialPortControl::written, this,
            [this, name](const QByteArray& bytes) { record(name(), true, bytes); });
    connect(&port, &SerialPortControl::taken, this,
            [this, name](const QByteArray& bytes) { record(name(), false, bytes); });
}

void FrameJournal::record(const QString& port, bool out, const QByteArray& bytes) {
    if (!m_file.isOpen())
        return;
    // Written field by field to keep the order a reader expects: time, who, port, direction,
    // bytes.
    const QByteArray line = "{\"t\": \"" +
                            QDateTime::currentDateTimeUtc()
                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                                .toLatin1() +
                            "\", " + m_who + ", \"port\": " + jsonString(port) + ", \"dir\": \"" +
                            (out ? "out" : "in") + "\", \"hex\": \"" +
                            hexText(bytes).trimmed().toLatin1() + "\"}\n";
    m_file.write(line);
    m_file.flush();
}

} // namespace vesk
