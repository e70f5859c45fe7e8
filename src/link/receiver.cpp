#include "receiver.h"

#include "link/datadisplay.h"
#include "link/delay.h"
#include "link/frame.h"
#include "link/serialport.h"

namespace vesk {

ReplyReceiver::ReplyReceiver(SerialPortControl& port, DataDisplay& display,
                             std::function<void(int, bool)> setLamp, QObject* parent)
    : QObject(parent), m_port(port), m_display(display), m_setLamp(std::move(setLamp)) {
    connect(&m_port, &SerialPortControl::onComm, this, &ReplyReceiver::OnComm);
}

QString ReplyReceiver::replyText(const QByteArray& bytes) {
    return QStringLiteral("设备返回：") + hexText(bytes);
}

void ReplyReceiver::OnComm() {
    const QByteArray bytes = m_port.input();
    // A notification without data (the port was closed meanwhile) shows nothing.
    if (bytes.isEmpty())
        return;
    m_display.setText(replyText(bytes));
    if (bytes.size() != StatusReplyLength)
        return;

    spawn(colourLamps(static_cast<quint8>(bytes.at(StateByte))));
}

Task<> ReplyReceiver::colourLamps(quint8 state) {
    if (const bool waited = co_await Module1::Delay(100, this); !waited)
        co_return;
    for (int k = 0; k < 8; ++k) {
        if (m_setLamp)
            m_setLamp(k, (state >> k) & 1);
        if (const bool waited = co_await Module1::Delay(50, this); !waited)
            co_return;
    }
}

} // namespace vesk
