// The multi-channel operation area (full program only): pick channels, give each a target state,
// choose a delay as a number and a unit, and switch them all with one timed-switch frame.
#pragma once

#include <QObject>

#include "core/task.h"

#include <array>

#include "areas/buildprofile.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

#include "areas/context.h"

namespace vesk {

class MultiChannelArea : public QObject, public MultiChannelHooks {
    Q_OBJECT
public:
    explicit MultiChannelArea(const AreaContext& ctx);

    void fillUnits() override;
    void tickState(int index) override;

    Task<> execute();

private:
    void selectorToggled(int index, bool ticked);
    void stateToggled(int index, bool ticked);
    void unitChosen();

    AreaContext m_ctx;
    QGroupBox* m_frame7 = nullptr;
    std::array<QPushButton*, 8> m_pcheck{};
    std::array<QCheckBox*, 8> m_portCheck{};
    QComboBox* m_hourCombo = nullptr;
    QComboBox* m_minteCombo = nullptr;
    QPushButton* m_command4 = nullptr;
};

// Creates the area inside the window and returns the hooks the start-up sequence uses.
MultiChannelHooks* createMultiChannelArea(const AreaContext& ctx);

} // namespace vesk
