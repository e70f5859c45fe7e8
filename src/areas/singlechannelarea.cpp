#include "singlechannelarea.h"

#include <QGroupBox>
#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/toolkit.h"

namespace vesk {

namespace {

// The classic program names the channel in words ("开启通道三"), the full one with a circled digit
// ("开启③"); 0..7 switch channels 1..8 on, 8..15 off.
const char* const Captions[2][16] = {{QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启①"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启②"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启③"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启④"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启⑤"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启⑥"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启⑦"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启⑧"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭①"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭②"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭③"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭④"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭⑤"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭⑥"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭⑦"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭⑧")},
                                     {QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道一"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道二"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道三"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道四"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道五"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道六"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道七"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "开启通道八"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道一"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道二"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道三"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道四"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道五"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道六"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道七"),
                                      QT_TRANSLATE_NOOP("vesk::SingleChannelArea", "关闭通道八")}};

} // namespace

SingleChannelArea::SingleChannelArea(const AreaContext& ctx, QWidget* frame1)
    : QObject(ctx.window), m_ctx(ctx) {
    const bool classic = m_ctx.profile.classic;
    // Four rows of four: on 1-4, off 1-4, on 5-8, off 5-8; each column holds one channel.
    const int rowOf[16] = {0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1, 3, 3, 3, 3};
    for (int i = 0; i < 16; ++i) {
        auto* button = new QPushButton(tr(Captions[classic][i]), frame1);
        button->setObjectName(QStringLiteral("Command_CPort_%1").arg(i));
        const int column = i % 4;
        const int top = 240 + 600 * rowOf[i];
        if (classic)
            toolkit::placeTwips(button, 240 + 1560 * column, top, 1215, 495);
        else
            toolkit::placeTwips(button, 120 + 960 * column, top, 735, 495);
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(switchChannel(i)); });
        m_buttons[i] = button;
    }
    describeLamps();
    connect(&m_ctx.status, &StatusQuery::answerChanged, this, &SingleChannelArea::describeLamps);
}

void SingleChannelArea::describeLamps() {
    // The face colour is the channel's lamp, which the caption does not tell; while the controller
    // is silent the lamps show its last answer, and the description says so.
    // Every valid reply asks again; a description that stays is not set again, so that a
    // screen reader is not told of a change that is none.
    const QString silence = m_ctx.status.silenceText();
    for (int k = 0; k < 8; ++k) {
        const QString lamp = tr("底色为红时通道%1已开启").arg(k + 1);
        const QString text = silence.isEmpty() ? lamp : tr("%1；%2").arg(lamp, silence);
        if (m_buttons[k]->accessibleDescription() != text)
            m_buttons[k]->setAccessibleDescription(text);
    }
}

void SingleChannelArea::setLamp(int k, bool on) {
    if (k < 0 || k > 7)
        return;
    toolkit::setFaceColor(m_buttons[k], on ? toolkit::Red : toolkit::buttonFace());
}

Task<> SingleChannelArea::switchChannel(int index) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    if (const bool sent = co_await link.SendFrame(switchFrame(*address, index % 8 + 1, index < 8));
        !sent)
        co_return;
    if (const bool waited = co_await m_ctx.waits.Delay(m_ctx.profile.switchSettleMs, this); !waited)
        co_return;
    co_await m_ctx.status.run();
}

} // namespace vesk
