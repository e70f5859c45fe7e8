// Front-panel key lock: two buttons that lock or unlock the keys on the controller's front panel.
#pragma once

#include <QObject>

#include "link/task.h"

#include <array>

class QPushButton;

namespace vesk {

class VESK;

class KeyLockArea : public QObject {
    Q_OBJECT
public:
    // Command25 indices.
    static constexpr int Unlock = 0;
    static constexpr int Lock = 1;

    explicit KeyLockArea(VESK& window);

    // Command25(0) "面板按键解锁", Command25(1) "面板按键上锁".
    QPushButton* Command25(int index) const { return m_buttons.at(index); }

    // CA 20 address CF 01 state checksum; state 0x01 = keys work, 0x00 = keys locked.
    static QByteArray keyLockFrame(quint8 address, int index);

    Task<> lockOrUnlock(int index);

private:
    VESK& m_window;
    std::array<QPushButton*, 2> m_buttons{};
};

} // namespace vesk
