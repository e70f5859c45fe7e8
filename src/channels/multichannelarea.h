// The multi-channel operation area (full program only): pick channels, give each a target state,
// choose a delay as a number and a unit, and switch them all with one timed-switch frame.
#pragma once

#include <QObject>

#include "link/task.h"

#include <array>

#include "window/buildprofile.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace vesk {

class MultiChannelArea : public QObject, public MultiChannelHooks {
    Q_OBJECT
public:
    explicit MultiChannelArea(VESK& window);

    QGroupBox* Frame7() const { return m_frame7; }
    // Channel selector of channel index + 1; ticked leaves the channel out.
    QPushButton* PCheck(int index) const { return m_pcheck.at(index); }
    // Target state of channel index + 1; ticked switches it on.
    QCheckBox* PortCheck(int index) const { return m_portCheck.at(index); }
    QComboBox* HourCombo() const { return m_hourCombo; }
    QComboBox* MinteCombo() const { return m_minteCombo; }
    QPushButton* Command4() const { return m_command4; }

    void fillUnits() override;
    void tickState(int index) override;

    // The timing code: 0 for the number 0, otherwise the unit code (seconds 0x40, minutes 0x80,
    // hours 0xC0, no unit 0) plus the number.
    static quint8 timingCode(int unitPosition, int numberPosition);

    Task<> execute();

private:
    void selectorToggled(int index, bool ticked);
    void stateToggled(int index, bool ticked);
    void unitChosen();

    VESK& m_window;
    QGroupBox* m_frame7 = nullptr;
    std::array<QPushButton*, 8> m_pcheck{};
    std::array<QCheckBox*, 8> m_portCheck{};
    QComboBox* m_hourCombo = nullptr;
    QComboBox* m_minteCombo = nullptr;
    QPushButton* m_command4 = nullptr;
};

// Creates the area inside the window and returns the hooks the start-up sequence uses.
MultiChannelHooks* createMultiChannelArea(VESK& window);

} // namespace vesk
