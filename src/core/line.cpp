#include "line.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include "core/portchoice.h"
#include "core/reply.h"

namespace vesk {

std::optional<PortLocation> resolvePortName(const QString& text, ComMapping mapping, QString* why) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString reason;
    if (!why)
        why = &reason;
    const auto match = com.match(text.trimmed());
    if (!match.hasMatch())
        return parsePortArgument(text, why);
    const int n = match.captured(1).toInt();
    if (n < 1 || n > PortCount) {
#ifdef Q_OS_WIN
        return parsePortLocation(text, why);
#else
        *why = QStringLiteral("COM1..COM4 only");
        return std::nullopt;
#endif
    }
    if (mapping == ComMapping::Lenient)
        return PortChoices().port(n).location;
    const auto given = [&](const QString& value,
                           const QString& source) -> std::optional<PortLocation> {
        QString bad;
        auto location = parsePortLocation(value, &bad);
        if (!location)
            *why = QStringLiteral("%1 \"%2\" is not a port (%3); nothing was opened")
                       .arg(source, value, bad);
        return location;
    };
    const QString variable = QStringLiteral("VESKPANEL_COM%1").arg(n);
    if (const QString value = qEnvironmentVariable(qPrintable(variable)); !value.isEmpty())
        return given(value, variable);
    // Read only when the environment does not decide, and scan for adapters only when neither
    // source names the port: both cost time on every run of a script.
    if (const QString path = portSettingsPath(); QFileInfo::exists(path)) {
        const QSettings settings(path, QSettings::IniFormat);
        const QString value = settings.value(QStringLiteral("ports/COM%1").arg(n)).toString();
        if (!value.isEmpty())
            return given(value, QStringLiteral("saved COM%1 in %2").arg(n).arg(path));
    }
    return PortChoices().port(n).location;
}

void ReplyJoiner::start(std::optional<quint8> address) {
    m_address = address;
    m_held.clear();
    m_active = true;
}

void ReplyJoiner::stop() {
    m_active = false;
    m_held.clear();
}

ReplyJoiner::Outcome ReplyJoiner::add(const QByteArray& batch, QByteArray* bytes) {
    QByteArray all = m_held + batch;
    if (all.size() < StatusReplyLength) {
        m_held = all;
        return Outcome::Pending;
    }
    m_held.clear();
    *bytes = all;
    if (all.size() > StatusReplyLength)
        return Outcome::Garbled;
    const quint8 from = m_address ? *m_address : quint8(all.at(2));
    return isStatusReplyFrom(all, from) ? Outcome::Reply : Outcome::Odd;
}

Line::Line(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    // A server serving another client says so at once and closes; one that has said nothing for
    // a quiet gap serves us.
    m_settle.setInterval(SerialPortControl::QuietGapMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        if (m_port.portOpen())
            emit opened();
    });
    connect(&m_port, &SerialPortControl::opened, this, &Line::onOpened);
    connect(&m_port, &SerialPortControl::openFailed, this, &Line::failOpen);
    connect(&m_port, &SerialPortControl::onComm, this, [this] {
        if (const QByteArray bytes = m_port.input(); !bytes.isEmpty())
            onBatch(bytes);
    });
    connect(&m_port, &SerialPortControl::portLost, this, [this] {
        m_joiner.stop();
        if (m_port.lastError().reason == PortError::Reason::Busy) {
            m_error = m_port.lastError();
        } else {
            // A share ends when the program serving it stops or loses the line itself.
            const QString via = m_port.via();
            const QString why = via.isEmpty()
                                    ? QStringLiteral("the port failed (device gone or connection "
                                                     "dropped)")
                                    : QStringLiteral("the share closed (%1): it stopped, was "
                                                     "killed or lost the line")
                                          .arg(via);
            m_error = {PortError::Reason::Other,
                       QStringLiteral("%1: %2").arg(m_location.text(), why), 0};
        }
        if (m_settle.isActive()) {
            // Never counted as open: a failed open.
            m_settle.stop();
            failOpen(m_error);
            return;
        }
        reopenLater();
        emit lost(m_error);
    });
}

bool Line::open(const PortLocation& location) {
    m_reopener.stop();
    m_settle.stop();
    m_joiner.stop();
    m_location = location;
    m_error = {};
    return m_port.openLocation(location);
}

void Line::close() {
    m_reopener.stop();
    m_settle.stop();
    m_joiner.stop();
    m_port.setPortOpen(false);
}

QString Line::errorLine() const {
    using Reason = PortError::Reason;
    const char* kind = "cannot open";
    switch (m_error.reason) {
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
    return QStringLiteral("port %1: %2").arg(QLatin1String(kind), m_error.text);
}

void Line::discard() {
    // The second call drops what the driver still held beyond the first batch.
    m_port.input();
    m_port.input();
    m_joiner.stop();
}

void Line::expectReply(std::optional<quint8> address) {
    m_joiner.start(address);
    // Several controllers may answer a broadcast, each with its own address: that one waits for
    // the quiet gap.
    m_port.expectStatusReply(address);
}

void Line::stopReply() {
    m_joiner.stop();
    // Bytes the driver held back for the reply's sixth byte arrived within the wait: handed on
    // now, as a batch of their own, before the caller's next frame.
    if (m_port.stopExpecting())
        if (const QByteArray bytes = m_port.input(); !bytes.isEmpty())
            onBatch(bytes);
}

void Line::onOpened() {
    m_error = {};
    m_joiner.stop();
    if (m_location.isTcp() && m_port.via().isEmpty()) {
        m_settle.start();
        return;
    }
    emit opened();
}

void Line::failOpen(const PortError& error) {
    m_error = error;
    emit openFailed(error);
    if (!m_reopener.watching())
        reopenLater();
}

void Line::reopenLater() {
    if (m_reopening)
        m_reopener.watch(0, m_location);
}

void Line::onBatch(const QByteArray& bytes) {
    std::optional<std::pair<ReplyJoiner::Outcome, QByteArray>> judged;
    if (m_joiner.active()) {
        QByteArray reply;
        const auto outcome = m_joiner.add(bytes, &reply);
        if (outcome != ReplyJoiner::Outcome::Pending)
            judged = {outcome, reply};
        // The rest of a reply cut by a pause completes it at its sixth byte again; once the reply
        // is judged, what follows comes in quiet-gap batches.
        const bool pending = outcome == ReplyJoiner::Outcome::Pending && m_port.portOpen();
        m_port.expectStatusReply(pending ? m_joiner.address() : std::nullopt, m_joiner.held());
    }
    emit batch(bytes);
    if (judged)
        emit replied(judged->first, judged->second);
}

} // namespace vesk
