// Timed all-on and all-off: two buttons that have the controller switch all eight channels by the
// delays stored in it. The clicked button rests for nine seconds, then the status query runs.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

class QPushButton;

#include "areas/context.h"

namespace vesk {

class TimedAllArea : public QObject {
    Q_OBJECT
public:
    // How long the clicked button stays disabled after its frame was written.
    static constexpr int HoldMs = 9000;

    explicit TimedAllArea(const AreaContext& ctx);

    Task<> run(int index);

private:
    AreaContext m_ctx;
    std::array<QPushButton*, 2> m_command3{};
};

} // namespace vesk
