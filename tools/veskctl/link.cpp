#include "link.h"

#include <QRegularExpression>

#include "core/portchoice.h"

namespace vesk::ctl {

std::optional<PortLocation> resolvePort(const QString& text, QString* why) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto match = com.match(text.trimmed()); match.hasMatch()) {
        const int n = match.captured(1).toInt();
        if (n < 1 || n > 4) {
            *why = QStringLiteral("COM1..COM4 only");
            return std::nullopt;
        }
        // As the consoles choose: $VESKPANEL_COMn, the saved choice, then the adapters present.
        return PortChoices().port(n).location;
    }
    return parsePortLocation(text, why);
}

Link::Link(QObject* parent) : QObject(parent) {
    connect(&m_port, &SerialPortControl::onComm, this, [this] {
        if (const QByteArray bytes = m_port.input(); !bytes.isEmpty())
            emit batch(bytes);
    });
    connect(&m_port, &SerialPortControl::portLost, this, [this] {
        emit failed(QStringLiteral("%1: the port failed (device gone or connection dropped)")
                        .arg(m_location.text()));
    });
    connect(&m_port, &SerialPortControl::opened, this, &Link::opened);
    connect(&m_port, &SerialPortControl::openFailed, this, &Link::openFailed);
}

bool Link::open(const PortLocation& location) {
    m_location = location;
    return m_port.openLocation(location);
}

QString Link::error() const {
    using Reason = PortError::Reason;
    const PortError& e = m_port.lastError();
    const char* kind = "cannot open";
    switch (e.reason) {
    case Reason::Missing:
        kind = "missing";
        break;
    case Reason::Permission:
        kind = "no permission";
        break;
    case Reason::Busy:
        kind = "busy";
        break;
    case Reason::StaleLock:
        kind = "stale lock";
        break;
    case Reason::Refused:
        kind = "refused";
        break;
    case Reason::TimedOut:
        kind = "timed out";
        break;
    case Reason::None:
    case Reason::Other:
        break;
    }
    return QStringLiteral("port %1: %2").arg(QLatin1String(kind), e.text);
}

} // namespace vesk::ctl
