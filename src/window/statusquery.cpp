#include "statusquery.h"

#include <QCheckBox>
#include <QPushButton>

#include "link/delay.h"
#include "link/devicelink.h"
#include "link/frame.h"
#include "link/serialport.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

StatusQuery::StatusQuery(VESK& window) : QObject(&window), m_window(window) {
    m_testButton = new QPushButton(QStringLiteral("查询设备当前状态"), &window);
    m_testButton->setObjectName(QStringLiteral("TestButton"));
    m_testButton->setToolTip(QStringLiteral("代码:CA 20 ID 20 01 01 AC"));
    toolkit::placeTwips(m_testButton, 360, 5400, 1695, 375);
    connect(m_testButton, &QPushButton::clicked, this, [this] { spawn(run()); });

    m_checktest = new QCheckBox(QStringLiteral("自动查询设备状态"), window.Frame6());
    m_checktest->setObjectName(QStringLiteral("Checktest"));
    toolkit::placeTwips(m_checktest, 180, 2640, 1815, 300);
    connect(m_checktest, &QCheckBox::toggled, this, &StatusQuery::automaticQueryClicked);

    m_timer2.setObjectName(QStringLiteral("Timer2"));
    // A precise timer keeps the two-second rhythm without drift.
    m_timer2.setTimerType(Qt::PreciseTimer);
    connect(&m_timer2, &QTimer::timeout, this, [this] { spawn(run()); });
}

void StatusQuery::automaticQueryClicked(bool ticked) {
    if (ticked) {
        m_timer2.setInterval(PollIntervalMs);
        m_timer2.start();
    } else {
        m_timer2.stop();
    }
}

Task<bool> StatusQuery::run() {
    SerialPortControl& port = m_window.port();
    if (!port.portOpen())
        co_return !shuttingDown();
    DeviceLink& link = m_window.link();
    const std::optional<quint8> address = link.GiveID_Set();
    if (!address)
        co_return !shuttingDown();
    const QByteArray frame = statusQueryFrame(*address);
    link.Com_Set();
    if (const bool waited = co_await Module1::Delay(100, this); !waited)
        co_return false;
    link.Error_set();
    link.write(frame);
    if (const bool waited = co_await Module1::Delay(100, this); !waited)
        co_return false;
    link.write(frame);
    co_return !shuttingDown();
}

} // namespace vesk
