// The measurement sessions of vesk-bench: each drives the console the way an operator would and
// turns what the wire tap and the console thread saw into figures.
#pragma once

#include <QProcess>
#include <QString>

#include <cstdint>
#include <vector>

#include "bench/figures.h"
#include "bench/options.h"

class QApplication;

namespace vesk::bench {

class WireTap;

// vesk-sim as a child process, quiet, answering on its pseudo-terminal.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    bool start(const QString& program, QString* error);
    QString ptyPath() const { return m_pty; }

private:
    QProcess m_process;
    QString m_pty;
};

class Bench {
public:
    Bench(const Options& options, WireTap& tap) : m_options(options), m_tap(tap) {}
    // Runs the chosen sections in a fixed order and returns their figures in table order.
    std::vector<Figure> run();

private:
    void startUp();
    void hold();
    void polling();
    void channelSwitch();
    void hour();
    Figure& figure(const QString& name);

    const Options& m_options;
    WireTap& m_tap;
    std::vector<Figure> m_figures;
};

// The child started by the start-up section: shows the console window as the program does and
// prints "SHOWN <monotonic ns>" when it is first painted, and "PHASE <name> <ns>" lines for the
// steps before: main entered, application set up, window built, start-up sequence done.
int runStartupProbe(QApplication& app, std::int64_t mainEnteredNs, std::int64_t appReadyNs);

} // namespace vesk::bench
