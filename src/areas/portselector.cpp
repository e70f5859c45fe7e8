#include "portselector.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

#include <cstdio>

#include "core/devicelink.h"
#include "core/portchoice.h"
#include "core/reopener.h"
#include "core/serialport.h"
#include "core/statusquery.h"
#include "core/task.h"
#include "toolkit/toolkit.h"

namespace vesk {

PortSelector::PortSelector(const AreaContext& ctx, PortChoices& choices, QWidget* frame3)
    : QObject(frame3), m_link(ctx.link), m_status(ctx.status), m_messages(ctx.messages),
      m_choices(choices) {
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QStringLiteral("COM%1").arg(i + 1), frame3);
        button->setObjectName(QStringLiteral("COM_%1").arg(i));
        button->setCheckable(true);
        toolkit::placeTwips(button, 120 + 930 * i, 240, 855, 315);
        toolkit::setTextColor(button, toolkit::Black);
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        button->installEventFilter(this);
        connect(button, &QWidget::customContextMenuRequested, this, [this, i, button](QPoint at) {
            QMenu* menu = buildMenu(i);
            menu->popup(button->mapToGlobal(at));
        });
        m_group->addButton(button, i);
        m_buttons[i] = button;
    }
    connect(m_group, &QButtonGroup::idClicked, this, &PortSelector::switchPort);

    SerialPortControl& port = m_link.port();
    m_reopener = new PortReopener(port, this);
    connect(&port, &SerialPortControl::portLost, this, [this, &port] {
        colourCaptions(-1);
        // Watch for the same device (or server) to come back.
        if (const auto location = port.locationFor(port.commPort()))
            m_reopener->watch(port.commPort(), *location);
        refreshTooltips(true);
    });
    connect(m_reopener, &PortReopener::reopened, this, [this](int commPort) {
        m_reasons[commPort - 1].clear();
        colourCaptions(commPort - 1);
        refreshTooltips(true);
        // The lamps show the device as it is now, not as it was before the unplug.
        spawn(m_status.run());
    });
    // A tcp:// connection started by a click ends here.
    connect(&port, &SerialPortControl::opened, this, [this, &port] {
        if (m_pending != port.commPort() - 1)
            return refreshTooltips();
        m_pending = -1;
        m_reasons[port.commPort() - 1].clear();
        colourCaptions(port.commPort() - 1);
        refreshTooltips();
        if (std::exchange(m_queryWhenOpened, false))
            spawn(m_status.run());
    });
    connect(&port, &SerialPortControl::openFailed, this, [this, &port](const PortError& error) {
        if (m_pending == port.commPort() - 1) {
            m_pending = -1;
            openFailed(port.commPort() - 1, error);
        }
    });
    connect(&m_status, &StatusQuery::answerChanged, this, [this] { refreshTooltips(); });
    connect(&m_choices, &PortChoices::changed, this, [this] { refreshTooltips(true); });
    refreshTooltips();
}

bool PortSelector::eventFilter(QObject* watched, QEvent* event) {
    // Listing the ports takes long enough to be felt at start-up; it is done when the operator
    // first points at a port button, before that button's tooltip shows.
    if (event->type() == QEvent::ToolTip && !m_listed)
        refreshTooltips(true);
    return QObject::eventFilter(watched, event);
}

void PortSelector::select(int index) {
    m_buttons.at(index)->setChecked(true);
    switchPort(index);
}

void PortSelector::selectAtStartUp(int index) {
    SerialPortControl& port = m_link.port();
    if (port.commPort() != index + 1 || !(port.portOpen() || port.connecting()))
        return select(index);
    m_buttons.at(index)->setChecked(true);
    stopWatching();
    showOpenResult(index);
}

void PortSelector::switchPort(int index) {
    SerialPortControl& port = m_link.port();
    stopWatching();
    port.setPortOpen(false);
    port.setCommPort(index + 1);
    port.setPortOpen(true);
    showOpenResult(index);
}

void PortSelector::showOpenResult(int index) {
    SerialPortControl& port = m_link.port();
    if (port.portOpen()) {
        m_reasons[index].clear();
        colourCaptions(index);
        refreshTooltips();
        return;
    }
    if (port.connecting()) {
        // The result follows as opened() or openFailed(); the window stays responsive meanwhile.
        m_pending = index;
        colourCaptions(-1);
        refreshTooltips();
        return;
    }
    openFailed(index, port.lastError());
}

void PortSelector::openFailed(int index, const PortError& error) {
    m_queryWhenOpened = false;
    m_reasons[index] = error.text;
    const QString line = QStringLiteral("COM%1: %2").arg(index + 1).arg(error.text);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    refreshTooltips();
    m_link.showPortBusy();
    colourCaptions(-1);
}

void PortSelector::stopWatching() {
    m_reopener->stop();
    m_pending = -1;
}

void PortSelector::choose(int index, const PortLocation& location) {
    SerialPortControl& port = m_link.port();
    const bool current = port.commPort() == index + 1 &&
                         (port.portOpen() || port.connecting() || m_reopener->watching());
    m_choices.choose(index + 1, location);
    m_choices.applyTo(port);
    if (current)
        select(index);
}

void PortSelector::colourCaptions(int openIndex) {
    for (int i = 0; i < 4; ++i)
        toolkit::setTextColor(m_buttons[i], i == openIndex ? toolkit::Red : toolkit::Black);
}

} // namespace vesk
