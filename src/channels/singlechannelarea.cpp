#include "singlechannelarea.h"

#include <QGroupBox>
#include <QPushButton>

#include "link/delay.h"
#include "link/devicelink.h"
#include "link/frame.h"
#include "window/statusquery.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

namespace {

const char* const ChannelDigits[8] = {"①", "②", "③", "④", "⑤", "⑥", "⑦", "⑧"};
const char* const ChannelWords[8] = {"一", "二", "三", "四", "五", "六", "七", "八"};

QString caption(int index, bool classic) {
    const bool on = index < 8;
    const int channel = on ? index : index - 8;
    if (classic)
        return QString::fromUtf8(on ? "开启通道" : "关闭通道") +
               QString::fromUtf8(ChannelWords[channel]);
    return QString::fromUtf8(on ? "开启" : "关闭") + QString::fromUtf8(ChannelDigits[channel]);
}

} // namespace

SingleChannelArea::SingleChannelArea(VESK& window) : QObject(&window), m_window(window) {
    const bool classic = window.profile().classic;
    // Four rows of four: on 1-4, off 1-4, on 5-8, off 5-8; each column holds one channel.
    const int rowOf[16] = {0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1, 3, 3, 3, 3};
    for (int i = 0; i < 16; ++i) {
        auto* button = new QPushButton(caption(i, classic), window.Frame1());
        button->setObjectName(QStringLiteral("Command_CPort_%1").arg(i));
        const int column = i % 4;
        const int top = 240 + 600 * rowOf[i];
        if (classic)
            toolkit::placeTwips(button, 240 + 1560 * column, top, 1215, 495);
        else
            toolkit::placeTwips(button, 120 + 960 * column, top, 735, 495);
        if (i < 8) {
            // The face colour is the channel's lamp, which the caption does not tell.
            button->setAccessibleDescription(QStringLiteral("底色为红时通道%1已开启").arg(i + 1));
        }
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(switchChannel(i)); });
        m_buttons[i] = button;
    }
}

QByteArray SingleChannelArea::switchFrame(quint8 address, int index) {
    const bool on = index < 8;
    const char data[2] = {char(on ? index + 1 : index - 7), char(on ? 0x01 : 0x00)};
    return commandFrame(address, Cmd::SwitchChannel, QByteArrayView(data, 2));
}

void SingleChannelArea::setLamp(int k, bool on) {
    if (k < 0 || k > 7)
        return;
    toolkit::setFaceColor(m_buttons[k], on ? toolkit::Red : toolkit::buttonFace());
}

Task<> SingleChannelArea::switchChannel(int index) {
    DeviceLink& link = m_window.link();
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    if (const bool sent = co_await link.SendFrame(switchFrame(*address, index)); !sent)
        co_return;
    if (const bool waited = co_await Module1::Delay(m_window.profile().switchSettleMs, this);
        !waited)
        co_return;
    co_await m_window.statusQuery().run();
}

} // namespace vesk
