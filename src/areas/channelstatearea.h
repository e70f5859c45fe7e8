// The channel state set in Frame5: eight toggles, one per channel row of the delay table, that
// stand for the channel being on ("开 启") or off ("关 闭"), and the button that sends all eight as
// the channel state mask in one parameter write. A channel set to off has its two delay spin
// controls disabled.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

#include "areas/context.h"

class QPushButton;

namespace vesk {

class ChannelStateArea : public QObject {
    Q_OBJECT
public:
    ChannelStateArea(const AreaContext& ctx, QWidget* frame5);

    Task<> sendStates();
    // The channel state set is sent only to QX series controllers.
    void showSeries(bool qx);

signals:
    // Toggle `index` changed; `off` = the channel is set to off.
    void stateToggled(int index, bool off);

private:
    void toggled(int index, bool ticked);

    AreaContext m_ctx;
    std::array<QPushButton*, 8> m_check1{};
    QPushButton* m_command5 = nullptr;
};

} // namespace vesk
