// Ties the controllers to the serial line: bytes from the line go through the frame parser (once,
// whatever the number of controllers) to the controllers, replies go back at line pace, device time
// follows the monotonic clock, and the console commands from stdin drive and inspect it all.
#pragma once

#include "bus.h"
#include "frameparser.h"
#include "linepacer.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <vector>

namespace vesk::sim {

class SerialEndpoint;
class SimLog;

class Simulator : public QObject {
    Q_OBJECT

public:
    Simulator(Bus& bus, SerialEndpoint& endpoint, SimLog& log, QObject* parent = nullptr);

    // One console line: state [ADDRS], restart [ADDRS], send <hex bytes>, ignore-switches on|off
    // [ADDRS], mute ADDRS on|off, hangup, quit; ADDRS defaults to all controllers. "state" prints
    // one JSON line: the state of a single controller, or {"controllers": [...]} for several, with
    // "parseIssues": what the frame parser rejected on the line, counted by kind.
    void execute(const QString& line);
    // Quits once the bytes already queued for the line have been sent.
    void requestQuit();

signals:
    void quitRequested();

private:
    void receive(const QByteArray& bytes);
    void expirePartial();
    void handle(const std::vector<ParseEvent>& events);
    void transmit(const QByteArray& bytes);
    void syncDevice();
    // The controllers a console command names: all without addresses; none (and a log line saying
    // why) when the text is no address list or no controller has those addresses.
    QList<int> select(const QString& addresses, const QString& command);
    void printState(const QList<int>& indexes);
    QString where(const QList<int>& indexes) const;
    qint64 nowMs() const { return m_clock.elapsed(); }

    Bus& m_bus;
    SerialEndpoint& m_endpoint;
    SimLog& m_log;
    FrameParser m_parser;
    LinePacer m_pacer;
    QElapsedTimer m_clock; // device time and parser time, in ms since start
    QTimer m_switchTimer;  // the next pending timed switch
    QTimer m_partialTimer; // the time-out of a partial frame
    bool m_quitting = false;
    // What the parser rejected, by kind ("garbage", "bad checksum", ...), for the state report.
    QMap<QString, qint64> m_parseIssues;
};

} // namespace vesk::sim
