// The receive handler: shows each batch of received bytes in the data display and reads a six-byte
// batch as the status reply, colouring the eight channel lamps one by one.
#pragma once

#include <QObject>

#include <array>
#include <functional>

#include "core/task.h"

namespace vesk {

class EchoDisplay;
class SerialPortControl;
class Waits;

class ReplyReceiver : public QObject {
    Q_OBJECT
public:
    // setLamp(k, on) colours the lamp of channel k + 1.
    ReplyReceiver(SerialPortControl& port, Waits& waits, EchoDisplay& display,
                  std::function<void(int, bool)> setLamp, QObject* parent = nullptr);

    void OnComm();

private:
    // 100 ms after the reply, the eight lamps one by one, 50 ms apart.
    Task<> colourLamps(std::array<bool, 8> on);

    SerialPortControl& m_port;
    Waits& m_waits;
    EchoDisplay& m_display;
    std::function<void(int, bool)> m_setLamp;
};

} // namespace vesk
