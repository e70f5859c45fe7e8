#include "timedallarea.h"

#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/toolkit.h"

namespace vesk {

TimedAllArea::TimedAllArea(const AreaContext& ctx) : QObject(ctx.window), m_ctx(ctx) {
    const QString captions[2] = {tr("按设定时间全开"), tr("按设定时间全关")};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QPushButton(captions[i], m_ctx.window);
        button->setObjectName(QStringLiteral("Command3_%1").arg(i));
        button->setFont(toolkit::songti(12));
        toolkit::placeTwips(button, 120, 7680 + 600 * i, 2175, 495);
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(run(i)); });
        m_command3[i] = button;
    }
}

Task<> TimedAllArea::run(int index) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    if (const bool sent = co_await link.SendFrame(timedAllFrame(*address, index == 0)); !sent)
        co_return;
    // Only the clicked button rests while the controller runs its sequence; the window and the
    // other button stay usable, since the wait keeps processing events.
    QPushButton* button = m_command3[index];
    button->setEnabled(false);
    if (const bool waited = co_await m_ctx.waits.Delay(HoldMs, this); !waited)
        co_return;
    button->setEnabled(true);
    co_await m_ctx.status.run();
}

} // namespace vesk
