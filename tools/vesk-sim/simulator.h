// Ties the device model to the serial line: bytes from the line go through the frame parser to the
// device, replies go back at line pace, device time follows the monotonic clock, and the console
// commands from stdin drive and inspect it all.
#pragma once

#include "device.h"
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
    Simulator(Device& device, SerialEndpoint& endpoint, SimLog& log, QObject* parent = nullptr);

    // One console line: state, restart, send <hex bytes>, hangup, quit. "state" prints the device
    // state as one JSON line, with "parseIssues": what the frame parser rejected, counted by kind.
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
    void printState();
    qint64 nowMs() const { return m_clock.elapsed(); }

    Device& m_device;
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
