// The power-on state area (Frame6, "开机状态设置"): what the controller switches its channels to
// when mains power returns, either the state before the power loss or a user-defined state, and
// that user-defined state channel by channel.
#pragma once

#include <QColor>
#include <QObject>

#include "core/task.h"

#include <array>

class QCheckBox;
class QRadioButton;

#include "areas/context.h"

namespace vesk {

class PowerOnArea : public QObject {
    Q_OBJECT
public:
    // kj_ID indices.
    static constexpr int BeforePowerLoss = 0;
    static constexpr int UserDefined = 1;

    PowerOnArea(const AreaContext& ctx, QWidget* frame6);

    // port(i): the user-defined power-on state of channel i + 1, ticked = on.
    QCheckBox* port(int index) const { return m_port.at(index); }
    // The background a port box shows: red ticked, black unticked, white disabled.
    static QColor portBackground(const QCheckBox* box);

    // Handlers: a mode chosen, a port box ticked or unticked.
    Task<> chooseMode(int index);
    Task<> sendChannelState();

private:
    static void setPortBackground(QCheckBox* box, const QColor& colour);

    AreaContext m_ctx;
    std::array<QRadioButton*, 2> m_kjId{};
    std::array<QCheckBox*, 8> m_port{};
};

} // namespace vesk
