// Channel interlock: the pairs 1-2, 3-4, 5-6 and 7-8 can be tied to each other in the controller.
// The 5200 series writes all pairs at once as a mask from the four Fusuo boxes; the QX series sets
// or releases one pair at a time with the eight S1 buttons.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

class QCheckBox;
class QPushButton;

#include "areas/context.h"

namespace vesk {

class InterlockArea : public QObject {
    Q_OBJECT
public:
    InterlockArea(const AreaContext& ctx, QWidget* frame2);

    // Handlers: a pair box ticked or unticked; an S1 button clicked.
    Task<> sendPairMask();
    Task<> setOrReleasePair(int index);
    // QX controllers set and release one pair at a time; 5200 controllers take all pairs at once.
    void showSeries(bool qx);

private:
    AreaContext m_ctx;
    std::array<QCheckBox*, 4> m_fusuo{};
    std::array<QPushButton*, 8> m_s1{};
};

} // namespace vesk
