// The receive handler: shows each batch of received bytes in the data display and reads a six-byte
// batch as the status reply, colouring the eight channel lamps one by one.
#pragma once

#include <QObject>

#include <functional>

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
    SerialPortControl& m_port;
    DataDisplay& m_display;
    std::function<void(int, bool)> m_setLamp;
};

} // namespace vesk
