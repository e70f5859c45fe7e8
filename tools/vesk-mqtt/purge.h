// vesk-mqtt --purge: removes what the broker still keeps of controllers the configuration no
// longer names (renamed or removed sections): their retained availability, states, commands and
// Home Assistant discovery configurations. Nothing of a configured controller is touched.
#pragma once

#include "config.h"

#include <QString>

namespace vesk::mqtt {

// Connects, collects the retained topics, removes those of unconfigured controllers (or of
// `onlyName` when set), prints each removed topic on standard output and returns the exit status.
int runPurge(const Config& config, const QString& onlyName);

} // namespace vesk::mqtt
