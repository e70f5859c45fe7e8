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
    m_values[Port] = port;
    m_values[Address] = request.address;
    m_values[Command] = request.command;
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

void Output::via(const QString& text) {
    m_values[Via] = text;
    if (!m_quiet)
        std::fprintf(stderr, "veskctl: %s\n", qPrintable(text));
}

void Output::note(const QString& text) {
    const QString before = m_values.count(Note) ? m_values[Note].toString() : QString();
    m_values[Note] = before.isEmpty() ? text : before + QStringLiteral("; ") + text;
    line(text);
}

void Output::states(const std::array<bool, 8>& channels) {
    QJsonArray list;
    for (size_t i = 0; i < channels.size(); ++i) {
        list.append(channels[i]);
        line(QStringLiteral("%1 %2").arg(i + 1).arg(channels[i] ? QLatin1String("on")
                                                                : QLatin1String("off")));
    }
    m_values[Channels] = list;
}

void Output::error(const QString& text) {
    // A failure that ends in a second one (a read-back that got no reply, then what was stopped
    // for it) keeps both in the JSON object, as on stderr.
    const QString before = m_values.count(Error) ? m_values[Error].toString() : QString();
    m_values[Error] = before.isEmpty() ? text : before + QStringLiteral("; ") + text;
    std::fprintf(stderr, "veskctl: %s\n", qPrintable(text));
}

void Output::interrupted(const QString& text) {
    m_values[Interrupted] = true;
    error(text);
}

void Output::finish(int exitCode) {
    if (m_json && !m_quiet) {
        if (!m_sent.isEmpty())
            m_values[Sent] = m_sent;
        m_values[Exit] = exitCode;
        writeObject(m_values);
    }
    std::fflush(stdout);
}

void Output::badInput(const QString& text) {
    writeObject({{Exit, ctl::Exit::BadInput}, {Error, text}});
}

void Output::writeObject(const std::map<Key, QJsonValue>& values) {
    static const char* const names[] = {"exit",    "error",   "interrupted", "port",     "via",
                                        "address", "command", "sent",        "channels", "note"};
    // QJsonObject sorts its keys; the object is written member by member to keep this order.
    QByteArray text = "{";
    for (const auto& [key, value] : values) {
        if (text.size() > 1)
            text += ',';
        const QByteArray member = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        text += '"' + QByteArray(names[key]) + "\":" + member.mid(1, member.size() - 2);
    }
    text += "}\n";
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

} // namespace vesk::ctl
