// Plain-words reasons for a serial device that did not open: what the system says about the
// device node and its lock file.
#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

#include "core/serialport.h"

namespace vesk {

// The lock file QSerialPort takes for `devicePath` (the first usable of the usual lock folders,
// named "LCK.." plus the path without "/dev/", "/" turned into "_").
QString serialLockFilePath(const QString& devicePath);

// The lock file a port is known by: for a device the one QSerialPort takes (*shared true: every
// program of every user agrees on it); for a server, or a device with no lock folder, a name in
// this user's runtime folder (*shared false). Files that belong to a port (a wait queue) go beside
// it.
QString portLockPath(const PortLocation& location, bool* shared = nullptr);

// Whether process `pid` is running (also when it belongs to another user).
bool processAlive(qint64 pid);
// The program's name the system gives for `pid`, "?" when it cannot tell.
QString processName(qint64 pid);

// Who a serial lock file names: the process id on its first line, and whether that process runs.
struct LockHolder {
    qint64 pid = 0;
    QString name; // the running program's name, else the one the file gives
    bool running = false;
};
LockHolder lockHolder(const QString& lockPath);

// Why opening `canonical` (reached as `given`) failed with `error` from QSerialPort.
PortError diagnoseSerialFailure(const QString& given, const QString& canonical,
                                QSerialPort::SerialPortError error);

// Busy when a running process holds the lock file of `name` (another name of the device, as a
// program that locks by the name it was given would take it).
std::optional<PortError> heldUnderName(const QString& given, const QString& name);

// The reason for a device path that leads nowhere.
PortError missingDevice(const QString& given);

// Why an existing `path` cannot be a serial port ("a regular file, not a serial device"), or an
// empty text when it can be: a character device, a path that does not exist (yet), and any path
// on Windows.
QString notSerialReason(const QString& path);

} // namespace vesk
