#include "output.h"

#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

#include "core/frames.h"
#include "request.h"

namespace vesk::ctl {

QString frameLine(const QByteArray& frame) {
    return hexText(frame).trimmed();
}

bool Journal::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    *error = QStringLiteral("bad journal file '%1': %2").arg(path, m_file.errorString());
    return false;
}

void Journal::record(const QString& port, bool out, const QByteArray& bytes) {
    if (!m_file.isOpen())
        return;
    // Written field by field to keep the order a reader expects: time, port, direction, bytes.
    const QByteArray portText = QJsonDocument(QJsonArray{port}).toJson(QJsonDocument::Compact);
    const QString line =
        QStringLiteral("{\"t\": \"%1\", \"port\": %2, \"dir\": \"%3\", \"hex\": \"%4\"}\n")
            .arg(QDateTime::currentDateTimeUtc().toString(
                     QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")),
                 QString::fromUtf8(portText.mid(1, portText.size() - 2)),
                 out ? QStringLiteral("out") : QStringLiteral("in"), frameLine(bytes));
    m_file.write(line.toUtf8());
    m_file.flush();
}

Output::Output(const Request& request, const QString& port)
    : m_json(request.json), m_quiet(request.quiet) {
    m_object.insert(QStringLiteral("port"), port);
    m_object.insert(QStringLiteral("address"), request.address);
    m_object.insert(QStringLiteral("command"), request.command);
}

void Output::line(const QString& text) {
    if (m_quiet || m_json)
        return;
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void Output::sent(const QByteArray& frame) {
    m_sent.append(frameLine(frame));
    line(QStringLiteral("sent %1").arg(frameLine(frame)));
}

void Output::note(const QString& text) {
    m_object.insert(QStringLiteral("note"), text);
    line(text);
}

void Output::states(const std::array<bool, 8>& channels) {
    QJsonArray list;
    for (size_t i = 0; i < channels.size(); ++i) {
        list.append(channels[i]);
        line(QStringLiteral("%1 %2").arg(i + 1).arg(channels[i] ? QLatin1String("on")
                                                                : QLatin1String("off")));
    }
    m_object.insert(QStringLiteral("channels"), list);
}

void Output::error(const QString& text) {
    m_object.insert(QStringLiteral("error"), text);
    std::fprintf(stderr, "veskctl: %s\n", qPrintable(text));
}

void Output::finish(int exitCode) {
    if (m_json && !m_quiet) {
        if (!m_sent.isEmpty())
            m_object.insert(QStringLiteral("sent"), m_sent);
        m_object.insert(QStringLiteral("exit"), exitCode);
        const QByteArray text = QJsonDocument(m_object).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    std::fflush(stdout);
}

} // namespace vesk::ctl
