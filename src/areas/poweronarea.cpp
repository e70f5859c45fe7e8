#include "poweronarea.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "core/waits.h"
#include "toolkit/datadisplay.h"
#include "toolkit/toolkit.h"

namespace vesk {

using toolkit::placeTwips;

namespace {
// Power-on mode values of parameter 0x15.
} // namespace

PowerOnArea::PowerOnArea(const AreaContext& ctx, QWidget* frame6)
    : QObject(ctx.window), m_ctx(ctx) {
    QWidget* frame = frame6;

    const QString captions[2] = {tr("断电前状态"), tr("用户自定义状态")};
    for (int i = 0; i < 2; ++i) {
        auto* option = new QRadioButton(captions[i], frame);
        option->setObjectName(QStringLiteral("kj_ID_%1").arg(i));
        placeTwips(option, 120, 240 + 300 * i, 1935, 300);
        connect(option, &QRadioButton::toggled, this, [this, i](bool selected) {
            if (selected)
                spawn(chooseMode(i));
        });
        m_kjId[i] = option;
    }

    // Two rows of four caption-less boxes, headed "1-4" and "5-8".
    const QString rowCaptions[2] = {QStringLiteral("1-4"), QStringLiteral("5-8")};
    for (int row = 0; row < 2; ++row) {
        const int top = 1200 + 360 * row;
        auto* label = new QLabel(rowCaptions[row], frame);
        label->setObjectName(QStringLiteral("Label%1").arg(25 + row));
        placeTwips(label, 120, top, 375, 255);
        for (int column = 0; column < 4; ++column) {
            const int i = 4 * row + column;
            auto* box = new QCheckBox(frame);
            box->setObjectName(QStringLiteral("port_%1").arg(i));
            // The box's own background shows its state, so it paints its whole area.
            box->setAutoFillBackground(true);
            placeTwips(box, 540 + 360 * column, top, 255, 255);
            toolkit::setAccessible(box, toolkit::channelName(i + 1, tr("开机状态")),
                                   tr("选中为开，未选为关"));
            connect(box, &QCheckBox::toggled, this, [this] { spawn(sendChannelState()); });
            m_port[i] = box;
        }
    }
}

QColor PowerOnArea::portBackground(const QCheckBox* box) {
    return box->palette().color(box->backgroundRole());
}

void PowerOnArea::setPortBackground(QCheckBox* box, const QColor& colour) {
    // The whole box, indicator included, takes the colour; the tick mark takes a contrasting
    // colour so that it stays visible on black.
    QPalette pal = box->palette();
    pal.setColor(box->backgroundRole(), colour);
    pal.setColor(QPalette::Base, colour);
    pal.setColor(QPalette::Text, colour == toolkit::Black ? toolkit::White : toolkit::Black);
    box->setPalette(pal);
}

Task<> PowerOnArea::chooseMode(int index) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    // The boxes follow the choice whatever becomes of the send: fixed white while the controller
    // restores the state before the power loss, black and editable for the user-defined state.
    const bool userDefined = index != BeforePowerLoss;
    for (QCheckBox* box : m_port) {
        setPortBackground(box, userDefined ? toolkit::Black : toolkit::White);
        box->setEnabled(userDefined);
    }
    if (!address)
        co_return;
    co_await link.SendFrame(powerOnModeFrame(*address, index != BeforePowerLoss));
}

Task<> PowerOnArea::sendChannelState() {
    quint8 mask = 0;
    for (int i = 0; i < 8; ++i) {
        const bool on = m_port[i]->isChecked();
        setPortBackground(m_port[i], on ? toolkit::Red : toolkit::Black);
        if (on)
            mask |= quint8(1u << i);
    }
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;
    const QByteArray frame = stateMaskFrame(*address, mask);

    // The display is emptied before the wait, and the echo is appended afterwards: whatever
    // arrives meanwhile stays in front of it.
    link.display().setText(QString());
    link.Com_Set();
    if (const bool waited = co_await m_ctx.waits.Delay(100, this); !waited)
        co_return;
    link.Error_set();
    link.appendEcho(frame);
    link.write(frame);
}

} // namespace vesk
