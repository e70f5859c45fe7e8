#include "link.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include "core/portchoice.h"

namespace vesk::ctl {

std::optional<PortLocation> resolvePort(const QString& text, QString* why) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(text.trimmed());
    if (!match.hasMatch())
        return parsePortArgument(text, why);
    const int n = match.captured(1).toInt();
    if (n < 1 || n > PortCount) {
        *why = QStringLiteral("COM1..COM4 only");
        return std::nullopt;
    }
    // As the consoles choose: $VESKPANEL_COMn, the saved choice, then the adapters present. A
    // console falls back past a value that is not a port, with a warning; a script must not be
    // sent to another device than the one it was configured for, so here that is an error.
    const auto given = [&](const QString& value,
                           const QString& source) -> std::optional<PortLocation> {
        QString reason;
        auto location = parsePortLocation(value, &reason);
        if (!location)
            *why = QStringLiteral("%1 \"%2\" is not a port (%3); nothing was opened")
                       .arg(source, value, reason);
        return location;
    };
    const QString variable = QStringLiteral("VESKPANEL_COM%1").arg(n);
    if (const QString value = qEnvironmentVariable(qPrintable(variable)); !value.isEmpty())
        return given(value, variable);
    // Read only when the environment does not decide, and scan for adapters only when neither
    // source names the port: both cost time on every run.
    if (const QString path = portSettingsPath(); QFileInfo::exists(path)) {
        const QSettings settings(path, QSettings::IniFormat);
        const QString value = settings.value(QStringLiteral("ports/COM%1").arg(n)).toString();
        if (!value.isEmpty())
            return given(value, QStringLiteral("saved COM%1 in %2").arg(n).arg(path));
    }
    return PortChoices().port(n).location;
}

Link::Link(QObject* parent) : QObject(parent) {
    connect(&m_port, &SerialPortControl::onComm, this, [this] {
        if (const QByteArray bytes = m_port.input(); !bytes.isEmpty())
            emit batch(bytes);
    });
    connect(&m_port, &SerialPortControl::portLost, this, [this] {
        if (m_port.lastError().reason == PortError::Reason::Busy) {
            emit failed(error());
            return;
        }
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
