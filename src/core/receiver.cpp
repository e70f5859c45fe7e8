#include "receiver.h"

#include "core/notices.h"
#include "core/reply.h"
#include "core/serialport.h"
#include "core/waits.h"

namespace vesk {

ReplyReceiver::ReplyReceiver(SerialPortControl& port, Waits& waits, EchoDisplay& display,
                             std::function<void(int, bool)> setLamp, QObject* parent)
    : QObject(parent), m_port(port), m_waits(waits), m_display(display),
      m_setLamp(std::move(setLamp)) {
    connect(&m_port, &SerialPortControl::onComm, this, &ReplyReceiver::OnComm);
}

void ReplyReceiver::OnComm() {
    const QByteArray bytes = m_port.input();
    // A notification without data (the port was closed meanwhile) shows nothing.
    if (bytes.isEmpty())
        return;
    const auto on = isStatusReply(bytes) ? lampStates(bytes) : std::nullopt;
    if (!on) {
        m_display.setText(replyText(bytes) + notStatusReplyNote());
        return;
    }
    m_display.setText(replyText(bytes));
    emit statusReplied();
    spawn(colourLamps(*on));
}

Task<> ReplyReceiver::colourLamps(std::array<bool, 8> on) {
    if (const bool waited = co_await m_waits.Delay(100, this); !waited)
        co_return;
    for (int k = 0; k < 8; ++k) {
        if (m_setLamp)
            m_setLamp(k, on[k]);
        if (const bool waited = co_await m_waits.Delay(50, this); !waited)
            co_return;
    }
}

} // namespace vesk
