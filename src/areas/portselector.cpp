#include "portselector.h"

#include <QButtonGroup>
#include <QPushButton>

#include "core/devicelink.h"
#include "core/serialport.h"
#include "toolkit/toolkit.h"

namespace vesk {

PortSelector::PortSelector(DeviceLink& link, QWidget* frame3) : QObject(frame3), m_link(link) {
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QStringLiteral("COM%1").arg(i + 1), frame3);
        button->setObjectName(QStringLiteral("COM_%1").arg(i));
        button->setCheckable(true);
        toolkit::placeTwips(button, 120 + 930 * i, 240, 855, 315);
        toolkit::setTextColor(button, toolkit::Black);
        m_group->addButton(button, i);
        m_buttons[i] = button;
    }
    connect(m_group, &QButtonGroup::idClicked, this, &PortSelector::switchPort);
    connect(&m_link.port(), &SerialPortControl::portLost, this, [this] { colourCaptions(-1); });
}

void PortSelector::select(int index) {
    m_buttons.at(index)->setChecked(true);
    switchPort(index);
}

void PortSelector::switchPort(int index) {
    SerialPortControl& port = m_link.port();
    port.setPortOpen(false);
    port.setCommPort(index + 1);
    if (port.setPortOpen(true)) {
        colourCaptions(index);
        return;
    }
    m_link.showPortBusy();
    colourCaptions(-1);
}

void PortSelector::colourCaptions(int openIndex) {
    for (int i = 0; i < 4; ++i)
        toolkit::setTextColor(m_buttons[i], i == openIndex ? toolkit::Red : toolkit::Black);
}

} // namespace vesk
