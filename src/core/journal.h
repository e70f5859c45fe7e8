// The frame journal: one JSON line per frame written to or read from the port, appended and
// flushed at once, so that the file answers "who switched what when" even if the program is
// killed. Shared by veskctl and the consoles (--journal FILE).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

#include "core/portlocation.h"

namespace vesk {

class SerialPortControl;

class FrameJournal : public QObject {
    Q_OBJECT
public:
    explicit FrameJournal(QObject* parent = nullptr) : QObject(parent) {}

    // Opens `path` for appending; false (with one line naming the file and the cause) when it
    // cannot be.
    bool open(const QString& path, QString* error);
    // Records every frame the port writes and every batch taken from it from now on.
    void attach(SerialPortControl& port);

    // {"t": "2026-12-07T14:18:49.613Z", "prog": "veskctl", "pid": 4711, "user": "lab",
    //  "port": "/dev/ttyUSB0", "dir": "out"|"in", "hex": "CA 20 ..."}
    // `port` as given; record() does not rewrite it (attach() passes the canonical form).
    void record(const QString& port, bool out, const QByteArray& bytes);

private:
    QFile m_file;
    QByteArray m_who; // "prog", "pid" and "user", the same on every line
};

} // namespace vesk
