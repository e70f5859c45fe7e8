#include "receiver.h"

#include "link/datadisplay.h"
#include "link/delay.h"
#include "link/replylogic.h"
#include "link/serialport.h"

namespace vesk {

ReplyReceiver::ReplyReceiver(SerialPortControl& port, DataDisplay& display,
                             std::function<void(int, bool)> setLamp, QObject* parent)
    : QObject(parent), m_port(port), m_display(display), m_setLamp(std::move(setLamp)) {
    connect(&m_port, &SerialPortControl::onComm, this, &ReplyReceiver::OnComm);
}

void ReplyReceiver::OnComm() {
    const QByteArray bytes = m_port.input();
    // A notification without data (the port was closed meanwhile) shows nothing.
    if (bytes.isEmpty())
        return;
    m_display.setText(replyText(bytes));
    if (const auto on = lampStates(bytes))
        spawn(colourLamps(*on));
}

Task<> ReplyReceiver::colourLamps(std::array<bool, 8> on) {
    if (const bool waited = co_await Module1::Delay(100, this); !waited)
        co_return;
    for (int k = 0; k < 8; ++k) {
        if (m_setLamp)
            m_setLamp(k, on[k]);
        if (const bool waited = co_await Module1::Delay(50, this); !waited)
            co_return;
    }
}

} // namespace vesk
