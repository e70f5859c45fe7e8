// The device state as one JSON object, for the simulator's "state" console command.
#pragma once

#include <QJsonObject>

namespace vesk::sim {

class Device;

// Keys: address, pendingAddress (null when none), channels, onDelays, offDelays, stateMask,
// powerOnMode, interlockPairs, pairParams {"0x20": [a, b], ...}, keysLocked, framesReceived,
// malformed, ignored, pendingSwitches [{channel, on, dueInMs}, ...] in the order they fall due,
// ignoresSwitches.
QJsonObject stateToJson(const Device& device);

} // namespace vesk::sim
