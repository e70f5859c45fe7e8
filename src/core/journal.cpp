#include "journal.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/frames.h"
#include "core/serialport.h"

namespace vesk {

bool FrameJournal::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    *error = QStringLiteral("journal file '%1': %2").arg(path, m_file.errorString());
    return false;
}

void FrameJournal::attach(SerialPortControl& port) {
    const auto name = [&port] {
        const auto location = port.currentLocation();
        return location ? location->text() : QString();
    };
    connect(&port, &SerialPortControl::written, this,
            [this, name](const QByteArray& bytes) { record(name(), true, bytes); });
    connect(&port, &SerialPortControl::taken, this,
            [this, name](const QByteArray& bytes) { record(name(), false, bytes); });
}

void FrameJournal::record(const QString& port, bool out, const QByteArray& bytes) {
    if (!m_file.isOpen())
        return;
    // Written field by field to keep the order a reader expects: time, port, direction, bytes.
    const QByteArray portText = QJsonDocument(QJsonArray{port}).toJson(QJsonDocument::Compact);
    const QString line =
        QStringLiteral("{\"t\": \"%1\", \"port\": %2, \"dir\": \"%3\", \"hex\": \"%4\"}\n")
            .arg(QDateTime::currentDateTimeUtc().toString(
                     QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")),
                 QString::fromUtf8(portText.mid(1, portText.size() - 2)),
                 out ? QStringLiteral("out") : QStringLiteral("in"), hexText(bytes).trimmed());
    m_file.write(line.toUtf8());
    m_file.flush();
}

} // namespace vesk
