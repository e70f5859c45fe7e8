#include "statusquery.h"

#include "core/devicelink.h"
#include "core/frames.h"
#include "core/serialport.h"
#include "core/waits.h"

namespace vesk {

StatusQuery::StatusQuery(DeviceLink& link, QObject* parent) : QObject(parent), m_link(link) {
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    // A precise timer keeps the two-second rhythm without drift.
    m_timer2.setTimerType(Qt::PreciseTimer);
    connect(&m_timer2, &QTimer::timeout, this, [this] { spawn(run()); });
    m_replyWait.setSingleShot(true);
    m_replyWait.setInterval(ReplyWaitMs);
    connect(&m_replyWait, &QTimer::timeout, this, &StatusQuery::replyWaitOver);
    // Another port (or the same one plugged in again) may lead to another controller: what the
    // last one answered says nothing about it.
    connect(&m_link.port(), &SerialPortControl::opened, this, [this] {
        m_replyWait.stop();
        m_silent = false;
        m_lastAnswer = {};
        emit answerChanged();
    });
}

void StatusQuery::answered() {
    m_repliedSinceQuery = true;
    m_silent = false;
    m_lastAnswer = QDateTime::currentDateTime();
    emit answerChanged();
}

void StatusQuery::replyWaitOver() {
    if (m_repliedSinceQuery || m_silent || !m_link.port().portOpen())
        return;
    m_silent = true;
    emit answerChanged();
}

QString StatusQuery::silenceText() const {
    if (!m_silent)
        return {};
    if (m_lastAnswer.isNull())
        return tr("查询无应答（打开以来未应答过）");
    return tr("最后一次应答 %1，之后无应答")
        .arg(m_lastAnswer.time().toString(QStringLiteral("HH:mm:ss")));
}

void StatusQuery::setAutomatic(bool on) {
    if (on) {
        m_timer2.setInterval(PollIntervalMs);
        m_timer2.start();
    } else {
        m_timer2.stop();
    }
}

Task<bool> StatusQuery::run() {
    Waits& waits = m_link.waits();
    if (!m_link.port().portOpen())
        co_return !waits.closing();
    const std::optional<quint8> address = m_link.GiveID_Set();
    if (!address)
        co_return !waits.closing();
    const QByteArray frame = statusQueryFrame(*address);
    m_link.Com_Set();
    if (const bool waited = co_await waits.Delay(100, this); !waited)
        co_return false;
    m_link.Error_set();
    // Only a reply that follows this query's frames tells that the controller still answers.
    m_repliedSinceQuery = false;
    m_replyWait.stop();
    m_link.write(frame);
    if (const bool waited = co_await waits.Delay(100, this); !waited)
        co_return false;
    m_link.write(frame);
    m_replyWait.start();
    co_return !waits.closing();
}

} // namespace vesk
