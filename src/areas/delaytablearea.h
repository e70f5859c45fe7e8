// The delay table in Frame5: for each channel an on-delay and an off-delay box in seconds, a spin
// control beside each box, a numeric filter on the boxes, and two buttons that send a whole column
// to the controller in one parameter write. A double-click on the frame refills the initial values.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

class QLineEdit;
class QPushButton;
class QWidget;

#include "areas/context.h"

namespace vesk {

class SpinButton;

class DelayTableArea : public QObject {
    Q_OBJECT
public:
    DelayTableArea(const AreaContext& ctx, QWidget* frame5);

    // Sends one column: 0 = on-delays (parameter 0x30, written twice), 1 = off-delays (0x40).
    Task<> sendColumn(int column);
    // A channel set to off has its two spin controls disabled.
    void setChannelEditable(int index, bool editable);
    // Puts the initial values back: on-delays 1..8, off-delays 8..1.
    void refill();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filter(int index);
    void stepUp(int index);
    void stepDown(int index);

    AreaContext m_ctx;
    QWidget* m_frame5 = nullptr;
    std::array<QLineEdit*, 16> m_text1{};
    std::array<SpinButton*, 16> m_spin{};
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    bool m_filtering = false;
};

} // namespace vesk
