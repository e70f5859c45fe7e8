#include "devicelink.h"

#include "core/frames.h"
#include "core/serialport.h"
#include "core/waits.h"

namespace vesk {

DeviceLink::DeviceLink(SerialPortControl& port, Waits& waits, EchoDisplay& display,
                       MessageSink& messages, QObject* parent)
    : QObject(parent), m_port(port), m_waits(waits), m_display(display), m_messages(messages) {}

void DeviceLink::setAddressSource(std::function<std::optional<quint8>()> source) {
    m_addressSource = std::move(source);
}

void DeviceLink::setRepliesIgnored(std::function<bool()> ignored) {
    m_repliesIgnored = std::move(ignored);
}

std::optional<quint8> DeviceLink::GiveID_Set() {
    std::optional<quint8> address = m_addressSource ? m_addressSource() : std::nullopt;
    if (!address) {
        m_messages.show(
            {tr("未选择设备ID，本次操作没有发送。"), appTitle(), Icon::Warning, Buttons::Ok});
    }
    return address;
}

QString DeviceLink::portBusyText(int commPort) {
    return tr("COM %1 被占用或损坏!").arg(commPort);
}

void DeviceLink::showPortBusy() {
    // The box's own text stays the same for every cause; the reason goes below it.
    QString reason = m_port.lastError().text;
    if (reason.isEmpty())
        reason = m_port.connecting() ? tr("仍在连接，尚未连通") : tr("设备已断开");
    m_messages.show(
        {portBusyText(m_port.commPort()), appTitle(), Icon::Warning, Buttons::Ok, reason});
}

void DeviceLink::Com_Set() {
    if (m_port.portOpen())
        return;
    showPortBusy();
}

void DeviceLink::Error_set() {
    if (!m_repliesIgnored || m_repliesIgnored())
        return;
    if (m_port.input().isEmpty()) {
        m_messages.show({tr("操作失败！请检查线路和设备。"), appTitle(), Icon::Question,
                         Buttons::CancelTryAgainContinue});
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
    if (const bool waited = co_await m_waits.Delay(100, this); !waited)
        co_return false;
    Error_set();
    echo(frame, preset);
    write(frame);
    co_return !m_waits.closing();
}

} // namespace vesk
