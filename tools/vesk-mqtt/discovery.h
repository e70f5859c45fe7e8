// Home Assistant discovery: one retained switch configuration per channel, four buttons (timed
// all-on and all-off, key lock and unlock) and an event entity, all sharing the controller's
// device block and naming this program as their origin.
#pragma once

#include "config.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vesk::mqtt {

struct DiscoveryEntry {
    QString topic;
    QByteArray payload;
};

// The event types of a controller's event entity (the "event_type" of BASE/NAME/event).
QStringList eventTypes();

// Every discovery configuration of `controller`: eight switches, four buttons, the event entity.
QList<DiscoveryEntry> discoveryEntries(const BrokerConfig& broker,
                                       const ControllerConfig& controller);

} // namespace vesk::mqtt
