// The receive handler: shows each batch of received bytes in the data display and reads a batch
// that is a valid status reply, colouring the eight channel lamps one by one. Any other batch
// (line noise, a garbled reply, the overlaid answers of several controllers) is shown with a note
// and leaves the lamps as they are.
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

signals:
    // A valid status reply arrived.
    void statusReplied();

private:
    // 100 ms after the reply, the eight lamps one by one, 50 ms apart.
    Task<> colourLamps(std::array<bool, 8> on);

    SerialPortControl& m_port;
    Waits& m_waits;
    EchoDisplay& m_display;
    std::function<void(int, bool)> m_setLamp;
};

} // namespace vesk
