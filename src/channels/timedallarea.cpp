#include "timedallarea.h"

#include <QPushButton>

#include "link/delay.h"
#include "link/devicelink.h"
#include "link/frame.h"
#include "window/statusquery.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

TimedAllArea::TimedAllArea(VESK& window) : QObject(&window), m_window(window) {
    const QString captions[2] = {QStringLiteral("按设定时间全开"),
                                 QStringLiteral("按设定时间全关")};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QPushButton(captions[i], &window);
        button->setObjectName(QStringLiteral("Command3_%1").arg(i));
        button->setFont(toolkit::songti(12));
        toolkit::placeTwips(button, 120, 7680 + 600 * i, 2175, 495);
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(run(i)); });
        m_command3[i] = button;
    }
}

QByteArray TimedAllArea::timedFrame(quint8 address, int index) {
    // All eight channels take part; all on by the on-delays (timing code 1) or all off by the
    // off-delays (timing code 2).
    const bool on = index == 0;
    const char data[3] = {char(0xFF), char(on ? 0xFF : 0x00), char(on ? 0x01 : 0x02)};
    return commandFrame(address, Cmd::TimedSwitch, QByteArrayView(data, 3));
}

Task<> TimedAllArea::run(int index) {
    DeviceLink& link = m_window.link();
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    if (const bool sent = co_await link.SendFrame(timedFrame(*address, index)); !sent)
        co_return;
    // Only the clicked button rests while the controller runs its sequence; the window and the
    // other button stay usable, since the wait keeps processing events.
    QPushButton* button = m_command3[index];
    button->setEnabled(false);
    if (const bool waited = co_await Module1::Delay(HoldMs, this); !waited)
        co_return;
    button->setEnabled(true);
    co_await m_window.statusQuery().run();
}

} // namespace vesk
