// Channel interlock: the pairs 1-2, 3-4, 5-6 and 7-8 can be tied to each other in the controller.
// The 5200 series writes all pairs at once as a mask from the four Fusuo boxes; the QX series sets
// or releases one pair at a time with the eight S1 buttons.
#pragma once

#include <QObject>

#include "link/task.h"

#include <array>

class QCheckBox;
class QPushButton;

namespace vesk {

class VESK;

class InterlockArea : public QObject {
    Q_OBJECT
public:
    explicit InterlockArea(VESK& window);

    // Fusuo(k): pair k (channels 2k + 1 and 2k + 2), on the window over frame2.
    QCheckBox* Fusuo(int index) const { return m_fusuo.at(index); }
    // S1(i): set (even i) or release (odd i) pair i / 2; inside frame2.
    QPushButton* S1(int index) const { return m_s1.at(index); }

    // The pair-mask frame (parameter 0x1F) and the set/release frame of button S1(index).
    static QByteArray maskFrame(quint8 address, quint8 mask);
    static QByteArray pairFrame(quint8 address, int index);

    // Handlers: a pair box ticked or unticked; an S1 button clicked.
    Task<> sendPairMask();
    Task<> setOrReleasePair(int index);

private:
    VESK& m_window;
    std::array<QCheckBox*, 4> m_fusuo{};
    std::array<QPushButton*, 8> m_s1{};
};

} // namespace vesk
