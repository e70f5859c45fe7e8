// The single-channel area: sixteen buttons that switch one channel on or off each. The eight
// switch-on buttons double as the channel lamps that the status reply colours.
#pragma once

#include <QObject>

#include <array>

#include "link/task.h"

class QPushButton;

namespace vesk {

class VESK;

class SingleChannelArea : public QObject {
    Q_OBJECT
public:
    explicit SingleChannelArea(VESK& window);

    // Index 0..7 switches channel index + 1 on; 8..15 switches channel index - 7 off.
    QPushButton* Command_CPort(int index) const { return m_buttons.at(index); }

    // The switch frame of button `index` for `address`.
    static QByteArray switchFrame(quint8 address, int index);

    // Colours the lamp of channel k + 1: red when on, the button face when off.
    void setLamp(int k, bool on);

    Task<> switchChannel(int index);

private:
    VESK& m_window;
    std::array<QPushButton*, 16> m_buttons{};
};

} // namespace vesk
