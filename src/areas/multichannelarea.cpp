#include "multichannelarea.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/toolkit.h"

namespace vesk {

namespace {

const QColor CaptionGreen(0, 192, 0);
const QColor SelectorFace(255, 255, 0);

// Channels 1-4 stand in the left column, 5-8 in the right, four rows each.
constexpr int rowTop(int index) {
    return 240 + 360 * (index % 4);
}
constexpr int columnLeft(int index) {
    return index < 4 ? 120 : 1320;
}

} // namespace

MultiChannelArea::MultiChannelArea(const AreaContext& ctx) : QObject(ctx.window), m_ctx(ctx) {
    m_frame7 = new QGroupBox(tr("多端口操作区"), m_ctx.window);
    m_frame7->setObjectName(QStringLiteral("Frame7"));
    toolkit::placeTwips(m_frame7, 6360, 6000, 2415, 2775);
    // The caption is green; the controls inside keep black text of their own.
    toolkit::setTextColor(m_frame7, CaptionGreen);

    for (int i = 0; i < 8; ++i) {
        // The dash lies under the selector and shows to its right. Right-aligned, it stays clear
        // of the selector whatever width the font gives the leading blanks.
        auto* dash =
            new QLabel(i == 5 ? QStringLiteral("   -  ") : QStringLiteral("   - "), m_frame7);
        dash->setObjectName(QStringLiteral("Label28_%1").arg(i));
        dash->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        toolkit::setTextColor(dash, toolkit::Black);
        toolkit::placeTwips(dash, columnLeft(i), rowTop(i), 495, 255);

        auto* selector = new QPushButton(QString::number(i + 1), m_frame7);
        selector->setObjectName(QStringLiteral("PCheck_%1").arg(i));
        selector->setCheckable(true);
        selector->setFont(toolkit::songti(9, true));
        toolkit::setFaceColor(selector, SelectorFace);
        toolkit::setTextColor(selector, toolkit::Red);
        toolkit::placeTwips(selector, columnLeft(i), rowTop(i), 255, 255);
        // Both captions change with the state (the selector's vanishes), so neither names its box.
        toolkit::setAccessible(selector, toolkit::channelName(i + 1, tr("不参与")),
                               tr("选中时此通道不参与本次操作"));
        connect(selector, &QPushButton::toggled, this,
                [this, i](bool ticked) { selectorToggled(i, ticked); });
        m_pcheck[i] = selector;

        auto* state = new QCheckBox(tr("关"), m_frame7);
        state->setObjectName(QStringLiteral("PortCheck_%1").arg(i));
        toolkit::setTextColor(state, toolkit::Black);
        toolkit::placeTwips(state, columnLeft(i) + 480, rowTop(i), 495, 255);
        // The box leaves room for one Chinese character; a language whose word for on or off
        // is wider draws its caption closer to the indicator.
        const QFontMetrics fm = state->fontMetrics();
        if (std::max(fm.horizontalAdvance(tr("开")), fm.horizontalAdvance(tr("关"))) >
            fm.horizontalAdvance(QStringLiteral("关")))
            toolkit::makeRoomForCaption(state, 2);
        toolkit::setAccessible(state, toolkit::channelName(i + 1, tr("目标状态")),
                               tr("选中为开，未选为关"));
        connect(state, &QCheckBox::toggled, this,
                [this, i](bool ticked) { stateToggled(i, ticked); });
        m_portCheck[i] = state;
    }

    auto* heading = new QLabel(tr("延时参数"), m_frame7);
    heading->setObjectName(QStringLiteral("Label27"));
    toolkit::setTextColor(heading, toolkit::Black);
    toolkit::placeTwips(heading, 120, 1800, 855, 255);

    // Both lists offer fixed choices only: the operation reads the position of the chosen item,
    // which typed text would not set.
    m_hourCombo = new QComboBox(m_frame7);
    m_hourCombo->setObjectName(QStringLiteral("HourCombo"));
    toolkit::setTextColor(m_hourCombo, toolkit::Black);
    toolkit::placeTwips(m_hourCombo, 120, 2040, 855, 300);
    toolkit::setAccessible(m_hourCombo, tr("延时数值"));
    heading->setBuddy(m_hourCombo);

    m_minteCombo = new QComboBox(m_frame7);
    m_minteCombo->setObjectName(QStringLiteral("MinteCombo"));
    toolkit::setTextColor(m_minteCombo, toolkit::Black);
    toolkit::placeTwips(m_minteCombo, 120, 2400, 855, 300);
    toolkit::setAccessible(m_minteCombo, tr("延时单位"));
    // Each choice by the operator (from the list, by keys or by the wheel) refills the numbers
    // once and so resets the number, also when the unit already shown is picked again. Only the
    // operator's choices come through here: fillUnits() refills for the program's own choice.
    connect(m_minteCombo, &QComboBox::activated, this, &MultiChannelArea::unitChosen);

    m_command4 = new QPushButton(tr("执行操作"), m_frame7);
    m_command4->setObjectName(QStringLiteral("Command4"));
    toolkit::setTextColor(m_command4, toolkit::Black);
    toolkit::placeTwips(m_command4, 1200, 1800, 1095, 855);
    connect(m_command4, &QPushButton::clicked, this, [this] { spawn(execute()); });

    auto* across = new QFrame(m_frame7);
    across->setObjectName(QStringLiteral("Line5"));
    across->setFrameShape(QFrame::HLine);
    across->setFrameShadow(QFrame::Sunken);
    toolkit::placeTwips(across, 0, 1680, 2415, 30);
    auto* down = new QFrame(m_frame7);
    down->setObjectName(QStringLiteral("Line6"));
    down->setFrameShape(QFrame::VLine);
    down->setFrameShadow(QFrame::Sunken);
    toolkit::placeTwips(down, 1100, 1680, 30, 1080);
}

void MultiChannelArea::fillUnits() {
    m_minteCombo->clear();
    m_minteCombo->addItems({tr("秒钟"), tr("分钟"), tr("小时")});
    m_minteCombo->setCurrentIndex(0);
    unitChosen();
}

void MultiChannelArea::tickState(int index) {
    m_portCheck.at(index)->setChecked(true);
}

void MultiChannelArea::selectorToggled(int index, bool ticked) {
    // A channel put back always comes back with the target state on.
    m_pcheck[index]->setText(ticked ? QString() : QString::number(index + 1));
    m_portCheck[index]->setEnabled(!ticked);
    m_portCheck[index]->setChecked(!ticked);
}

void MultiChannelArea::stateToggled(int index, bool ticked) {
    m_portCheck[index]->setText(ticked ? tr("开") : tr("关"));
    toolkit::setTextColor(m_portCheck[index], ticked ? toolkit::Red : toolkit::Black);
}

void MultiChannelArea::unitChosen() {
    // Seconds and minutes count to 59, hours to 15.
    const int last = m_minteCombo->currentIndex() == 2 ? 15 : 59;
    m_hourCombo->clear();
    for (int n = 0; n <= last; ++n)
        m_hourCombo->addItem(QString::number(n));
    m_hourCombo->setCurrentIndex(0);
}

Task<> MultiChannelArea::execute() {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    quint8 selection = 0;
    quint8 targets = 0;
    for (int i = 0; i < 8; ++i) {
        if (!m_pcheck[i]->isChecked())
            selection |= quint8(1u << i);
        if (m_portCheck[i]->isChecked())
            targets |= quint8(1u << i);
    }
    const QByteArray frame =
        multiSwitchFrame(*address, selection, targets,
                         timingCode(m_minteCombo->currentIndex(), m_hourCombo->currentIndex()));
    if (const bool sent = co_await link.SendFrame(frame, DeviceLink::EchoPreset::One); !sent)
        co_return;
    if (const bool waited = co_await m_ctx.waits.Delay(500, this); !waited)
        co_return;
    co_await m_ctx.status.run();
}

MultiChannelHooks* createMultiChannelArea(const AreaContext& ctx) {
    return new MultiChannelArea(ctx);
}

} // namespace vesk
