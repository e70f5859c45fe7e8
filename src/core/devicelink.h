// The standard way every console operation talks to the controller: address byte, port check,
// wait, reply check, frame echo in the data display, one write.
#pragma once

#include <QByteArray>
#include <QObject>

#include "core/notices.h"
#include "core/task.h"

#include <functional>
#include <optional>

namespace vesk {

class SerialPortControl;
class Waits;

class DeviceLink : public QObject {
    Q_OBJECT
public:
    // What the frame echo writes into the display before emptying it: nothing, or the text "1".
    enum class EchoPreset { None, One };

    DeviceLink(SerialPortControl& port, Waits& waits, EchoDisplay& display, MessageSink& messages,
               QObject* parent = nullptr);

    SerialPortControl& port() { return m_port; }
    Waits& waits() { return m_waits; }
    EchoDisplay& display() { return m_display; }

    // Where the address comes from (the broadcast box and the address list); nullopt when no
    // address is selected.
    void setAddressSource(std::function<std::optional<quint8>()> source);
    // While this returns true the reply check does nothing.
    void setRepliesIgnored(std::function<bool()> ignored);

    // The address byte for the frame being built. When no address is selected, tells the operator
    // and returns nullopt: the operation must then send nothing.
    std::optional<quint8> GiveID_Set();
    // Tells the operator when the port is not open.
    void Com_Set();
    // Reply check: when replies are not ignored, takes whatever arrived and complains if nothing
    // did.
    void Error_set();

    // Empties the display (after the preset, if any) and appends the frame byte by byte.
    void echo(const QByteArray& frame, EchoPreset preset = EchoPreset::None);
    // Appends the frame byte by byte without emptying the display first.
    void appendEcho(const QByteArray& frame);
    // One write of the whole frame; false when the port is closed or broken.
    bool write(const QByteArray& frame);

    // Com_Set, Delay(100), Error_set, echo, one write. Yields false when the program is closing
    // or the link is gone (the caller stops at once); a closed port is not a reason to stop.
    Task<bool> SendFrame(QByteArray frame, EchoPreset preset = EchoPreset::None);

    // The port-busy text for port n: "COM n 被占用或损坏!".
    static QString portBusyText(int commPort);
    // The port-busy box, with the reason the port is not open below its text.
    void showPortBusy();

signals:
    // Every frame handed to the port, for diagnostics and tests.
    void frameWritten(const QByteArray& frame);

private:
    SerialPortControl& m_port;
    Waits& m_waits;
    EchoDisplay& m_display;
    MessageSink& m_messages;
    std::function<bool()> m_repliesIgnored;
    std::function<std::optional<quint8>()> m_addressSource;
};

} // namespace vesk
