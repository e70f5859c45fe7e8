// The multi-channel operation area (full program only).
#pragma once

#include "window/buildprofile.h"

namespace vesk {

// Creates the area inside the window and returns the hooks the start-up sequence uses.
MultiChannelHooks* createMultiChannelArea(VESK& window);

} // namespace vesk
