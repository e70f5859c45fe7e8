#include "interlockarea.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "toolkit/toolkit.h"

namespace vesk {

using toolkit::placeTwips;

namespace {
const char* const PairWords[4] = {QT_TRANSLATE_NOOP("vesk::InterlockArea", "通道一与通道二"),
                                  QT_TRANSLATE_NOOP("vesk::InterlockArea", "通道三与通道四"),
                                  QT_TRANSLATE_NOOP("vesk::InterlockArea", "通道五与通道六"),
                                  QT_TRANSLATE_NOOP("vesk::InterlockArea", "通道七与通道八")};
// Window tops of the pair boxes: pair 3 (7-8) stands above pair 2 (5-6).
constexpr int FusuoTop[4] = {1680, 2040, 2760, 2400};
} // namespace

InterlockArea::InterlockArea(const AreaContext& ctx, QWidget* frame2)
    : QObject(ctx.window), m_ctx(ctx) {
    for (int k = 0; k < 4; ++k) {
        auto* box = new QCheckBox(tr(PairWords[k]), m_ctx.window);
        box->setObjectName(QStringLiteral("Fusuo_%1").arg(k));
        placeTwips(box, 240, FusuoTop[k], 1935, 300);
        // The caption names the pair only; what ticking does is in the description.
        box->setAccessibleDescription(tr("%1互锁").arg(tr(PairWords[k])));
        connect(box, &QCheckBox::toggled, this, [this] { spawn(sendPairMask()); });
        m_fusuo[k] = box;
    }

    for (int i = 0; i < 8; ++i) {
        const int first = 2 * (i / 2) + 1;
        const QString caption =
            (i % 2 == 0 ? tr("设置通道%1与通道%2互锁") : tr("解除通道%1与通道%2互锁"))
                .arg(first)
                .arg(first + 1);
        auto* button = new QPushButton(caption, frame2);
        button->setObjectName(QStringLiteral("S1_%1").arg(i));
        placeTwips(button, 120, 720 + 570 * i, 1935, 495);
        connect(button, &QPushButton::clicked, this, [this, i] { spawn(setOrReleasePair(i)); });
        m_s1[i] = button;
    }
}

Task<> InterlockArea::sendPairMask() {
    quint8 mask = 0;
    for (int k = 0; k < 4; ++k)
        if (m_fusuo[k]->isChecked())
            mask |= quint8(1u << k);
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    co_await link.SendFrame(interlockMaskFrame(*address, mask));
}

Task<> InterlockArea::setOrReleasePair(int index) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    co_await link.SendFrame(interlockPairFrame(*address, index / 2, index % 2 == 0));
}

void InterlockArea::showSeries(bool qx) {
    for (QPushButton* button : m_s1)
        button->setVisible(qx);
    for (QCheckBox* box : m_fusuo)
        box->setVisible(!qx);
}

} // namespace vesk
