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
    m_link.write(frame);
    if (const bool waited = co_await waits.Delay(100, this); !waited)
        co_return false;
    m_link.write(frame);
    co_return !waits.closing();
}

} // namespace vesk
