// The single-channel area: sixteen buttons that switch one channel on or off each. The eight
// switch-on buttons double as the channel lamps that the status reply colours.
#pragma once

#include <QObject>

#include <array>

#include "core/task.h"

class QPushButton;

#include "areas/context.h"

namespace vesk {

class SingleChannelArea : public QObject {
    Q_OBJECT
public:
    SingleChannelArea(const AreaContext& ctx, QWidget* frame1);

    // Colours the lamp of channel k + 1: red when on, the button face when off.
    void setLamp(int k, bool on);

    Task<> switchChannel(int index);

private:
    // The lamps' accessible description: what a lamp means, and that it may be stale.
    void describeLamps();

    AreaContext m_ctx;
    std::array<QPushButton*, 16> m_buttons{};
};

} // namespace vesk
