// What differs between the two programs built from this code base.
#pragma once

#include <QString>

#include <functional>

namespace vesk {

struct AreaContext;

// The multi-channel operation area exists only in the full program; the window reaches it through
// this interface so that the classic program does not contain it at all.
class MultiChannelHooks {
public:
    virtual ~MultiChannelHooks() = default;
    // Fills the unit list and selects its first entry (which refills the number list).
    virtual void fillUnits() = 0;
    // Ticks the target-state box of channel index + 1.
    virtual void tickState(int index) = 0;
};
// Creates the area (its frame and controls) inside the window.
using MultiAreaFactory = std::function<MultiChannelHooks*(const AreaContext&)>;

struct BuildProfile {
    bool classic = false;
    // The program's own name, as installed; the window's metadata carries it with the version.
    QString program;
    QString caption;
    // Wait between a channel switch and the status query that follows it.
    int switchSettleMs = 500;
    // The delay-table and key-lock echoes first set the display to "1".
    bool echoPresetOne = true;
    MultiAreaFactory multiArea;

    static BuildProfile full(MultiAreaFactory multiArea);
    static BuildProfile classicBuild();
};

} // namespace vesk
