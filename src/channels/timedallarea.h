// Timed all-on and all-off: two buttons that have the controller switch all eight channels by the
// delays stored in it. The clicked button rests for nine seconds, then the status query runs.
#pragma once

#include <QObject>

#include "link/task.h"

#include <array>

class QPushButton;

namespace vesk {

class VESK;

class TimedAllArea : public QObject {
    Q_OBJECT
public:
    // How long the clicked button stays disabled after its frame was written.
    static constexpr int HoldMs = 9000;

    explicit TimedAllArea(VESK& window);

    // 0: "按设定时间全开", 1: "按设定时间全关".
    QPushButton* Command3(int index) const { return m_command3.at(index); }

    // The frame of button `index`: CA 20 address 19 03 FF, then FF 01 (all on) or 00 02 (all off).
    static QByteArray timedFrame(quint8 address, int index);

    Task<> run(int index);

private:
    VESK& m_window;
    std::array<QPushButton*, 2> m_command3{};
};

} // namespace vesk
