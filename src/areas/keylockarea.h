// Front-panel key lock: two buttons that lock or unlock the keys on the controller's front panel.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

class QPushButton;

#include "areas/context.h"

namespace vesk {

class KeyLockArea : public QObject {
    Q_OBJECT
public:
    // Command25 indices.
    static constexpr int Unlock = 0;
    static constexpr int Lock = 1;

    explicit KeyLockArea(const AreaContext& ctx);

    Task<> lockOrUnlock(int index);

private:
    AreaContext m_ctx;
    std::array<QPushButton*, 2> m_buttons{};
};

} // namespace vesk
