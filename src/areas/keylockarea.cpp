#include "keylockarea.h"

#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "toolkit/toolkit.h"

namespace vesk {

KeyLockArea::KeyLockArea(const AreaContext& ctx) : QObject(ctx.window), m_ctx(ctx) {
    const QString captions[2] = {tr("面板按键解锁"), tr("面板按键上锁")};
    const int tops[2] = {7080, 6480}; // the lock button stands above the unlock button
    for (int i = 0; i < 2; ++i) {
        auto* button = new QPushButton(captions[i], m_ctx.window);
        button->setObjectName(QStringLiteral("Command25_%1").arg(i));
        button->setFont(toolkit::songti(12));
        toolkit::placeTwips(button, 120, tops[i], 2175, 495);
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(lockOrUnlock(i)); });
        m_buttons[i] = button;
    }
}

Task<> KeyLockArea::lockOrUnlock(int index) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    // The full program's echo first shows "1" for a moment (one more change of the display, so
    // its colour alternation differs from the classic program's).
    co_await link.SendFrame(keyLockFrame(*address, index == Lock),
                            m_ctx.profile.echoPresetOne ? DeviceLink::EchoPreset::One
                                                        : DeviceLink::EchoPreset::None);
}

} // namespace vesk
