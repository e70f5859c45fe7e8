#include "addressarea.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <utility>

#include "areas/buildprofile.h"
#include "core/devicelink.h"
#include "core/frames.h"
#include "toolkit/toolkit.h"

namespace vesk {

using toolkit::placeTwips;

namespace {

// An address list whose open list drops typed characters as well. The list's popup is made when
// it is first opened (a combo box makes it at the first call of view()), not at start-up.
class AddressList : public QComboBox {
public:
    AddressList(QObject* keyFilter, QWidget* parent) : QComboBox(parent), m_keyFilter(keyFilter) {}
    void showPopup() override {
        if (!std::exchange(m_filtered, true))
            view()->installEventFilter(m_keyFilter);
        QComboBox::showPopup();
    }

private:
    QObject* m_keyFilter;
    bool m_filtered = false;
};

} // namespace

AddressArea::AddressArea(const AreaContext& ctx) : QObject(ctx.window), m_ctx(ctx) {
    auto* label22 = new QLabel(tr("设备ID"), m_ctx.window);
    label22->setObjectName(QStringLiteral("Label22"));
    placeTwips(label22, 4140, 540, 615, 255);

    for (int i = 0; i < 2; ++i) {
        // With the list open, keys go to the list itself, whose own search would pick an entry.
        auto* combo = new AddressList(this, m_ctx.window);
        combo->setObjectName(QStringLiteral("IDCombo_%1").arg(i));
        combo->setEditable(false);
        combo->setToolTip(tr("十六进制"));
        combo->setMaxVisibleItems(16);
        combo->installEventFilter(this);
        m_idCombo[i] = combo;
    }
    placeTwips(m_idCombo[1], 4800, 540, 615, 300);
    placeTwips(m_idCombo[0], 7800, 540, 735, 300);
    toolkit::setFaceColor(m_idCombo[0], QColor(255, 255, 192));
    // The narrow list shows two hex digits only with a slimmer arrow button.
    toolkit::makeRoomForCaption(m_idCombo[1], -1, 5);
    // IDCombo(1) picks the controller to talk to, IDCombo(0) the address IDset gives it. Where
    // the accessibility bridge names a drop-down list by its entry, its label names it instead.
    toolkit::setAccessible(m_idCombo[1], tr("设备ID", "the list's name"));
    toolkit::setAccessible(m_idCombo[0], tr("新设备ID"));
    label22->setBuddy(m_idCombo[1]);

    m_check2 = new QCheckBox(tr("广播ID"), m_ctx.window);
    m_check2->setObjectName(QStringLiteral("Check2"));
    placeTwips(m_check2, 5520, 480, 855, 375);
    toolkit::makeRoomForCaption(m_check2, 2);
    connect(m_check2, &QCheckBox::toggled, this,
            [this](bool ticked) { m_idCombo[1]->setEnabled(!ticked); });

    m_idSet = new QPushButton(tr("设 置 ID"), m_ctx.window);
    m_idSet->setObjectName(QStringLiteral("IDset"));
    placeTwips(m_idSet, 6720, 300, 975, 555);
    connect(m_idSet, &QPushButton::clicked, this, &AddressArea::writeNewAddress);

    auto* label21 = new QLabel(tr("ID号"), m_ctx.window);
    label21->setObjectName(QStringLiteral("Label21"));
    placeTwips(label21, 7950, 360, 345, 165);
    // The heading's place is only 11 pixels high: at the window's 9 points it would be cut.
    label21->setFont(toolkit::songti(7));
    label21->setBuddy(m_idCombo[0]);
    label21->setAccessibleName(m_idCombo[0]->accessibleName());

    m_ctx.link.setAddressSource([this] { return currentAddress(); });
}

void AddressArea::appendEntries(const QStringList& texts) {
    m_idCombo[0]->addItems(texts);
    m_idCombo[1]->addItems(texts);
}

void AddressArea::selectInitialEntries(int position) {
    m_idCombo[0]->setCurrentIndex(position);
    m_idCombo[1]->setCurrentIndex(position);
}

void AddressArea::setBroadcast(bool on) {
    m_check2->setChecked(on);
    m_idCombo[1]->setEnabled(!on);
}

std::optional<quint8> AddressArea::currentAddress() const {
    if (m_check2->isChecked())
        return BroadcastAddress;
    const int position = m_idCombo[1]->currentIndex();
    if (position < 0 || position > 255)
        return std::nullopt;
    return static_cast<quint8>(position);
}

void AddressArea::writeNewAddress() {
    DeviceLink& link = m_ctx.link;
    const int position = m_idCombo[0]->currentIndex();
    if (position < 0 || position > 255) {
        m_ctx.messages.show(
            {tr("未选择新的设备ID，本次操作没有发送。"), appTitle(), Icon::Warning, Buttons::Ok});
        return;
    }
    // The new address always goes out through the broadcast address; there is no wait and no reply
    // check, and a failed write simply ends the operation.
    const QByteArray frame = addressFrame(static_cast<quint8>(position));
    link.Com_Set();
    link.echo(frame);
    link.write(frame);
}

bool AddressArea::eventFilter(QObject* watched, QEvent* event) {
    // Typed characters are dropped, so an address can only be picked from the list. Arrow keys and
    // the like still move through it.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && key->text().at(0).isPrint())
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vesk
