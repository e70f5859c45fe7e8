// The simulator's log: one line per event, prefixed with the local time in milliseconds, flushed
// at once so that a test can follow it while the simulator runs.
#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace vesk::sim {

class SimLog {
public:
    // Empty path: stderr. Quiet: write nothing.
    bool open(const QString& path, bool quiet, QString* error);

    void rx(QByteArrayView frame) { line(QStringLiteral("RX ") + hex(frame)); }
    void tx(QByteArrayView bytes) { line(QStringLiteral("TX ") + hex(bytes)); }
    void bad(const QString& reason, QByteArrayView bytes) {
        line(QStringLiteral("BAD ") + reason + QStringLiteral(": ") + hex(bytes));
    }
    void ignored(QByteArrayView frame) { line(QStringLiteral("IGNORED ") + hex(frame)); }
    // A frame for controllers that are off the line (muted): nobody takes it.
    void muted(QByteArrayView frame) { line(QStringLiteral("MUTED ") + hex(frame)); }
    void line(const QString& text);

private:
    static QString hex(QByteArrayView bytes);

    QFile m_file;
    bool m_quiet = false;
};

} // namespace vesk::sim
