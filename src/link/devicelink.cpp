#include "devicelink.h"

#include <QAbstractButton>

#include "link/datadisplay.h"
#include "link/delay.h"
#include "link/frame.h"
#include "link/serialport.h"
#include "window/toolkit.h"

namespace vesk {

DeviceLink::DeviceLink(SerialPortControl& port, DataDisplay& display, QWidget* window)
    : QObject(window), m_port(port), m_display(display), m_window(window) {}

void DeviceLink::setAddressSource(std::function<std::optional<quint8>()> source) {
    m_addressSource = std::move(source);
}

void DeviceLink::setIgnoreRepliesBox(QAbstractButton* err1) {
    m_err1 = err1;
}

std::optional<quint8> DeviceLink::GiveID_Set() {
    std::optional<quint8> address = m_addressSource ? m_addressSource() : std::nullopt;
    if (!address) {
        toolkit::messageBox(m_window,
                            {QStringLiteral("未选择设备ID，本次操作没有发送。"), toolkit::AppTitle,
                             toolkit::Icon::Warning, toolkit::Buttons::Ok});
    }
    return address;
}

QString DeviceLink::portBusyText(int commPort) {
    return QStringLiteral("COM %1 被占用或损坏!").arg(commPort);
}

void DeviceLink::showPortBusy() {
    toolkit::messageBox(m_window, {portBusyText(m_port.commPort()), toolkit::AppTitle,
                                   toolkit::Icon::Warning, toolkit::Buttons::Ok});
}

void DeviceLink::Com_Set() {
    if (m_port.portOpen())
        return;
    showPortBusy();
}

void DeviceLink::Error_set() {
    if (!m_err1 || m_err1->isChecked())
        return;
    if (m_port.input().isEmpty()) {
        toolkit::messageBox(m_window,
                            {QStringLiteral("操作失败！请检查线路和设备。"), toolkit::AppTitle,
                             toolkit::Icon::Question, toolkit::Buttons::CancelTryAgainContinue});
    }
}

void DeviceLink::echo(const QByteArray& frame, EchoPreset preset) {
    if (preset == EchoPreset::One)
        m_display.setText(QStringLiteral("1"));
    m_display.setText(QString());
    appendEcho(frame);
}

void DeviceLink::appendEcho(const QByteArray& frame) {
    // Each byte is its own change of the display, as the colour alternation counts them.
    for (char byte : frame)
        m_display.appendText(hexByte(static_cast<quint8>(byte)));
}

bool DeviceLink::write(const QByteArray& frame) {
    if (!m_port.output(frame))
        return false;
    emit frameWritten(frame);
    return true;
}

Task<bool> DeviceLink::SendFrame(QByteArray frame, EchoPreset preset) {
    Com_Set();
    if (const bool waited = co_await Module1::Delay(100, this); !waited)
        co_return false;
    Error_set();
    echo(frame, preset);
    write(frame);
    co_return !shuttingDown();
}

} // namespace vesk
