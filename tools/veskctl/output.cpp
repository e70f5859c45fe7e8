#include "output.h"

#include <QJsonDocument>

#include <cstdio>

#include "core/frames.h"
#include "request.h"

namespace vesk::ctl {

QString frameLine(const QByteArray& frame) {
    return hexText(frame).trimmed();
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
