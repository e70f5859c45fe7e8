// vesk-bench: the wire tap between the console and the simulated controller, and the measurement
// sessions that drive the console as an operator would and turn what was seen into figures.
#pragma once

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/logic.h"

namespace vesk::bench {

std::int64_t monotonicNs();

// The console opens one end of a pseudo-terminal, the controller sits behind another, and a thread
// of the tap's own passes every byte across at once and notes when it passed. The console's thread
// does none of this work, so its CPU figures stay its own.
class WireTap {
public:
    ~WireTap();
    // Opens the controller's terminal at `devicePath`, creates the console's pseudo-terminal and
    // starts passing bytes. False with `error` set when either end cannot be opened.
    bool start(const QString& devicePath, QString* error);
    QString consolePath() const { return m_consolePath; }

    enum Direction { FromConsole, FromDevice };
    // What passed in one direction since the last clear().
    LineRecord record(Direction direction) const;
    void clear();
    // While off, bytes are passed on but not kept (long runs that measure memory).
    void setRecording(bool on) { m_recording = on; }

private:
    void run();

    int m_fds[2] = {-1, -1}; // the console's master side, the controller's terminal
    int m_consoleSlave = -1; // held open so that the console's closing the port is no hang-up
    QString m_consolePath;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_recording{true};
    mutable std::mutex m_mutex;
    LineRecord m_records[2];
};

struct Options {
    int runs = 3;
    bool quick = false; // short intervals and one run, for a smoke check
    QStringList sections{"startup", "hold", "poll", "switch", "hour"};
    QString panelProgram; // the full console program, for the start-up figures
    int hourPolls = 1800;
    int hourIntervalMs = 100;
};

// Runs the chosen sections in a fixed order and returns their figures in table order.
std::vector<Figure> runBench(const Options& options, WireTap& tap);

// The child role of the start-up section: shows the console window as the program does and prints
// "SHOWN <monotonic ns>" when it is first painted.
int runStartupProbe();

} // namespace vesk::bench
