// The receive handler: shows each batch of received bytes in the data display and reads a six-byte
// batch as the status reply, colouring the eight channel lamps one by one.
#pragma once

#include <QObject>

#include <functional>

#include "link/task.h"

namespace vesk {

class DataDisplay;
class SerialPortControl;

class ReplyReceiver : public QObject {
    Q_OBJECT
public:
    static constexpr int StatusReplyLength = 6;
    static constexpr int StateByte = 4;

    // setLamp(k, on) colours the lamp of channel k + 1.
    ReplyReceiver(SerialPortControl& port, DataDisplay& display,
                  std::function<void(int, bool)> setLamp, QObject* parent = nullptr);

    // The display text for a batch: "设备返回：" and the bytes in hex.
    static QString replyText(const QByteArray& bytes);

    void OnComm();

private:
    // 100 ms after the reply, the eight lamps one by one, 50 ms apart.
    Task<> colourLamps(quint8 state);

    SerialPortControl& m_port;
    DataDisplay& m_display;
    std::function<void(int, bool)> m_setLamp;
};

} // namespace vesk
