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

// Any JSON value as its text: a string with its quotes and escapes.
QByteArray jsonValue(const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonString(const QString& text) {
    return jsonValue(text);
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
    if (!reopen(error))
        return false;
    // The program by its file name (veskpanel and veskpanel-classic share an application name).
    QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (program.isEmpty())
        program = QCoreApplication::applicationName();
    m_who = "\"prog\": " + jsonString(program) +
            ", \"pid\": " + QByteArray::number(QCoreApplication::applicationPid()) +
            ", \"user\": " + jsonString(userName());
    return true;
}

bool FrameJournal::reopen(QString* error) {
    m_file.close();
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        *error =
            QStringLiteral("journal file '%1': %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}

QString FrameJournal::portName(const SerialPortControl& port) {
    const auto location = port.currentLocation();
    return location ? canonicalPortName(*location) : QString();
}

void FrameJournal::attach(SerialPortControl& port, Filter filter) {
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
            [this, name, filter](const QByteArray& bytes) {
                if (!filter || filter(true, bytes))
                    record(name(), true, bytes);
            });
    connect(&port, &SerialPortControl::taken, this, [this, name, filter](const QByteArray& bytes) {
        if (!filter || filter(false, bytes))
            record(name(), false, bytes);
    });
}

void FrameJournal::record(const QString& port, bool out, const QByteArray& bytes,
                          const Fields& extra) {
    write(port,
          QByteArray(", \"dir\": \"") + (out ? "out" : "in") + "\", \"hex\": \"" +
              hexText(bytes).trimmed().toLatin1() + '"',
          extra);
}

void FrameJournal::recordOutcome(const QString& port, const QString& outcome,
                                 const QByteArray& frame, const Fields& extra) {
    write(port,
          ", \"outcome\": " + jsonString(outcome) + ", \"hex\": \"" +
              hexText(frame).trimmed().toLatin1() + '"',
          extra);
}

void FrameJournal::write(const QString& port, const QByteArray& middle, const Fields& extra) {
    if (!m_file.isOpen())
        return;
    // Written field by field to keep the order a reader expects: time, who, port, what, and
    // then whatever the caller adds.
    QByteArray line = "{\"t\": \"" +
                      QDateTime::currentDateTimeUtc()
                          .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                          .toLatin1() +
                      "\", " + m_who + ", \"port\": " + jsonString(port) + middle;
    for (const auto& [key, value] : extra)
        line += ", " + jsonString(key) + ": " + jsonValue(value);
    line += "}\n";
    // One write call per line: a reader (or a rotation) never sees half of it.
    m_file.write(line);
    m_file.flush();
}

} // namespace vesk
