// Home Assistant discovery: one retained switch configuration per channel and four buttons (timed
// all-on and all-off, key lock and unlock), all sharing the controller's device block and naming
// this program as their origin.
#pragma once

#include "config.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vesk::mqtt {

struct DiscoveryEntry {
    QString topic;
    QByteArray payload;
};

// Every discovery configuration of `controller`: eight switches, then four buttons.
QList<DiscoveryEntry> discoveryEntries(const BrokerConfig& broker,
                                       const ControllerConfig& controller);

} // namespace vesk::mqtt
