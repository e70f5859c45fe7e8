#include "channelstatearea.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/delaylogic.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "toolkit/spinbutton.h"
#include "toolkit/toolkit.h"

namespace vesk {

namespace {
const QColor OnColour(255, 0, 255); // magenta
} // namespace

ChannelStateArea::ChannelStateArea(const AreaContext& ctx, QWidget* frame5)
    : QObject(ctx.window), m_ctx(ctx) {
    QWidget* frame = frame5;

    auto* heading = new QLabel(tr("面板按键关联选择"), frame);
    heading->setObjectName(QStringLiteral("Label17"));
    toolkit::placeTwips(heading, 240, 240, 1575, 255);

    for (int r = 0; r < 8; ++r) {
        auto* toggle = new QPushButton(tr("开 启"), frame);
        toggle->setObjectName(QStringLiteral("Check1_%1").arg(r));
        toggle->setCheckable(true);
        toolkit::setTextColor(toggle, OnColour);
        toolkit::placeTwips(toggle, 720, 600 + 480 * r, 855, 375);
        // The caption shows the state, so it cannot name the toggle.
        toolkit::setAccessible(toggle, toolkit::channelName(r + 1, tr("状态")),
                               tr("按下为关闭，弹起为开启"));
        connect(toggle, &QPushButton::toggled, this,
                [this, r](bool ticked) { toggled(r, ticked); });
        m_check1[r] = toggle;
    }

    m_command5 = new QPushButton(tr("设置通道状态"), frame);
    m_command5->setObjectName(QStringLiteral("Command5"));
    toolkit::placeTwips(m_command5, 120, 4440, 1455, 495);
    toolkit::addPressFeedback(m_command5, QColor(250, 210, 180));
    connect(m_command5, &QPushButton::clicked, this, [this] { spawn(sendStates()); });
}

void ChannelStateArea::toggled(int index, bool ticked) {
    m_check1[index]->setText(ticked ? tr("关 闭") : tr("开 启"));
    toolkit::setTextColor(m_check1[index], ticked ? toolkit::Black : OnColour);
    emit stateToggled(index, ticked);
}

void ChannelStateArea::showSeries(bool qx) {
    m_command5->setEnabled(qx);
}

Task<> ChannelStateArea::sendStates() {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    std::array<bool, 8> tickedOff{};
    for (int r = 0; r < 8; ++r)
        tickedOff[r] = m_check1[r]->isChecked();
    co_await link.SendFrame(stateMaskFrame(*address, channelStateMask(tickedOff)));
}

} // namespace vesk
