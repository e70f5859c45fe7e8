// Plain-words reasons for a serial device that did not open: what the system says about the
// device node and its lock file.
#pragma once

#include <QSerialPort>
#include <QString>

#include "core/serialport.h"

namespace vesk {

// The lock file QSerialPort takes for `devicePath` (the first usable of the usual lock folders,
// named "LCK.." plus the path without "/dev/", "/" turned into "_").
QString serialLockFilePath(const QString& devicePath);

// Why opening `canonical` (reached as `given`) failed with `error` / `errorText` from QSerialPort.
PortError diagnoseSerialFailure(const QString& given, const QString& canonical,
                                QSerialPort::SerialPortError error, const QString& errorText);

// The reason for a device path that leads nowhere.
PortError missingDevice(const QString& given);

} // namespace vesk
