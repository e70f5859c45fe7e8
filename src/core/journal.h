// The frame journal: one JSON line per frame written to or read from the port, appended and
// flushed at once, so that the file answers "who switched what when" even if the program is
// killed. Shared by veskctl, the consoles and vesk-mqtt (--journal FILE). A program that acts for
// others (vesk-mqtt) adds who asked to a frame's line and records the outcome of a switch on a
// line of its own; the file can be renamed by a log rotation and reopened under its name.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <utility>

#include "core/portlocation.h"

namespace vesk {

class SerialPortControl;

class FrameJournal : public QObject {
    Q_OBJECT
public:
    explicit FrameJournal(QObject* parent = nullptr) : QObject(parent) {}

    // Fields after the frame's own, in this order: who asked for it ("via": "mqtt", "topic",
    // "payload"; another way in names its own), or what became of it.
    using Fields = QList<std::pair<QString, QJsonValue>>;
    // Which frames attach() records: `out` written, else taken from the port.
    using Filter = std::function<bool(bool out, const QByteArray& bytes)>;

    // Opens `path` for appending; false (with one line naming the file and the cause) when it
    // cannot be.
    bool open(const QString& path, QString* error);
    // Closes the file and opens its path again: after a log rotation has renamed it, the lines
    // go to a new file of that name. Until then they went to the renamed one, so none is lost.
    bool reopen(QString* error);
    // Records every frame the port writes and every batch taken from it from now on (those the
    // filter passes, when given).
    void attach(SerialPortControl& port, Filter filter = {});

    // {"t": "2026-12-07T14:18:49.613Z", "prog": "veskctl", "pid": 4711, "user": "lab",
    //  "port": "/dev/ttyUSB0", "dir": "out"|"in", "hex": "CA 20 ...", ...`extra`}
    // `port` as given; record() does not rewrite it (attach() passes the canonical form).
    void record(const QString& port, bool out, const QByteArray& bytes, const Fields& extra = {});
    // What became of a switch recorded earlier: {"t", "prog", "pid", "user", "port",
    // "outcome": "confirmed", "hex": <the switch>, ...`extra`}.
    void recordOutcome(const QString& port, const QString& outcome, const QByteArray& frame,
                       const Fields& extra = {});
    // The journal's name of the port's current location (empty while closed).
    static QString portName(const SerialPortControl& port);

private:
    void write(const QString& port, const QByteArray& middle, const Fields& extra);

    QFile m_file;
    QByteArray m_who; // "prog", "pid" and "user", the same on every line
};

} // namespace vesk
