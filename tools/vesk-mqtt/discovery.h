// Home Assistant discovery: one retained switch configuration per channel, all eight sharing the
// controller's device block.
#pragma once

#include "config.h"

#include <QByteArray>
#include <QString>

namespace vesk::mqtt {

QString discoveryTopic(const QString& prefix, const QString& name, int channel);
QByteArray discoveryPayload(const BrokerConfig& broker, const ControllerConfig& controller,
                            int channel);

} // namespace vesk::mqtt
