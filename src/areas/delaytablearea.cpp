#include "delaytablearea.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "areas/buildprofile.h"
#include "core/delaylogic.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "core/waits.h"
#include "toolkit/spinbutton.h"
#include "toolkit/toolkit.h"

namespace vesk {

namespace {

const char* const ChannelWords[8] = {QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道一"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道二"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道三"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道四"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道五"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道六"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道七"),
                                     QT_TRANSLATE_NOOP("vesk::DelayTableArea", "通道八")};

// Rows are 480 twips apart; the first box row is at 600.
constexpr int rowTop(int row) {
    return 600 + 480 * row;
}

// The initial text of box `index`: on-delays 1..8, off-delays 8..1.
QString initialDelay(int index) {
    return QString::number(index < 8 ? index + 1 : 16 - index);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    toolkit::placeTwips(label, left, top, width, height);
    return label;
}

} // namespace

DelayTableArea::DelayTableArea(const AreaContext& ctx, QWidget* frame5)
    : QObject(ctx.window), m_ctx(ctx) {
    QWidget* frame = frame5;
    m_frame5 = frame;

    for (int r = 0; r < 8; ++r) {
        makeLabel(frame, QStringLiteral("Label20_%1").arg(r), tr(ChannelWords[r]), 120,
                  705 + 480 * r, 555, 255);
    }
    makeLabel(frame, QStringLiteral("Label18"), tr("通道开启延时时间"), 2160, 240, 1575, 255);
    makeLabel(frame, QStringLiteral("Label19"), tr("通道关闭延时时间"), 4440, 240, 1575, 255);

    for (int i = 0; i < 16; ++i) {
        const bool onColumn = i < 8;
        const int row = i % 8;
        const int columnLeft = onColumn ? 1920 : 4200;

        auto* box = new QLineEdit(initialDelay(i), frame);
        box->setObjectName(QStringLiteral("Text1_%1").arg(i));
        toolkit::placeTwips(box, columnLeft, rowTop(row), 735, 270);
        const QString subject = onColumn ? tr("开延时") : tr("关延时");
        toolkit::setAccessible(box, toolkit::channelName(row + 1, tr("%1(秒)").arg(subject)));
        connect(box, &QLineEdit::textChanged, this, [this, i] { filter(i); });
        m_text1[i] = box;

        // Label1..Label8 beside the on-delays, Label9..Label16 beside the off-delays.
        makeLabel(frame, QStringLiteral("Label%1").arg(i + 1), tr("秒"), columnLeft + 840,
                  rowTop(row), 255, 270);

        auto* spin = new SpinButton(frame);
        spin->setObjectName(QStringLiteral("SpinButton1_%1").arg(i));
        toolkit::placeTwips(spin, columnLeft + 1200, rowTop(row), 735, 255);
        spin->nameFor(toolkit::channelName(row + 1, subject));
        connect(spin, &SpinButton::up, this, [this, i] { stepUp(i); });
        connect(spin, &SpinButton::down, this, [this, i] { stepDown(i); });
        m_spin[i] = spin;
    }

    const auto makeSendButton = [&](const char* name, const QString& caption, int left,
                                    int column) {
        auto* button = new QPushButton(caption, frame);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tr("改变数值后双击发送"));
        toolkit::placeTwips(button, left, 4440, 2055, 495);
        toolkit::addPressFeedback(button, QColor(255, 210, 180));
        connect(button, &QPushButton::clicked, this, [this, column] { spawn(sendColumn(column)); });
        return button;
    };
    // The on-delay caption reads "延世" where "延时" is meant; it is kept as the operators know it.
    m_command1 = makeSendButton("Command1", tr("设置端口开启延世时间"), 1800, 0);
    m_command2 = makeSendButton("Command2", tr("设置端口关闭延时时间"), 4200, 1);

    frame->installEventFilter(this);
}

void DelayTableArea::filter(int index) {
    // The filter's own rewrite of the box changes the text again; that change needs no filtering,
    // since filterNumeric already left a text that reads as a number (or nothing before the caret).
    if (m_filtering)
        return;
    QLineEdit* box = m_text1[index];
    const FilterResult result = filterNumeric(box->text(), box->cursorPosition());
    if (result.text == box->text())
        return;
    m_filtering = true;
    box->setText(result.text);
    box->setCursorPosition(result.caret);
    m_filtering = false;
}

void DelayTableArea::stepUp(int index) {
    m_text1[index]->setText(spinUp(m_text1[index]->text()));
}

void DelayTableArea::stepDown(int index) {
    m_text1[index]->setText(spinDown(m_text1[index]->text()));
}

void DelayTableArea::refill() {
    for (int i = 0; i < 16; ++i)
        m_text1[i]->setText(initialDelay(i));
}

bool DelayTableArea::eventFilter(QObject* watched, QEvent* event) {
    // Compared by the pointer kept at construction: events also reach this filter while the
    // window is being destroyed, when the window must no longer be asked for anything.
    QWidget* frame = m_frame5;
    if (watched == frame && event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // Only a double-click on the frame's own background; one that a control inside passed on
        // belongs to that control.
        if (mouse->button() == Qt::LeftButton && !frame->childAt(mouse->position().toPoint())) {
            refill();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void DelayTableArea::setChannelEditable(int index, bool editable) {
    m_spin.at(index)->setEnabled(editable);
    m_spin.at(index + 8)->setEnabled(editable);
}

Task<> DelayTableArea::sendColumn(int column) {
    DeviceLink& link = m_ctx.link;
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return;

    const int first = column == 0 ? 0 : 8;
    std::array<QString, 8> texts;
    for (int c = 0; c < 8; ++c)
        texts[c] = m_text1[first + c]->text();

    // A box that cannot be sent (above 65279, or negative) stops the operation before anything is
    // written or shown; only the first such box in channel order is named.
    const int bad = firstUnsendable(texts);
    if (bad >= 0) {
        const bool on = column == 0;
        m_ctx.messages.show({overflowMessage(on ? bad + 1 : bad + 8),
                             on ? QStringLiteral("VESK-QX") : QStringLiteral("VESK-5200"),
                             Icon::None, Buttons::Ok});
        co_return;
    }
    std::array<int, 8> seconds{};
    for (int c = 0; c < 8; ++c)
        seconds[c] = *delayValue(texts[c]);
    const QByteArray frame = delayFrame(*address, column == 0, seconds);

    link.Com_Set();
    // The on-delay column goes out once before the wait and once after the echo.
    if (column == 0)
        link.write(frame);
    if (const bool waited = co_await m_ctx.waits.Delay(100, this); !waited)
        co_return;
    link.Error_set();
    link.echo(frame, m_ctx.profile.echoPresetOne ? DeviceLink::EchoPreset::One
                                                 : DeviceLink::EchoPreset::None);
    link.write(frame);
}

} // namespace vesk
