// Command line of vesk-bench.
#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <set>

namespace vesk::bench {

// The parts of the benchmark that can be chosen on the command line.
inline const QStringList SectionNames = {QStringLiteral("startup"), QStringLiteral("hold"),
                                         QStringLiteral("poll"), QStringLiteral("switch"),
                                         QStringLiteral("hour")};

struct Options {
    int runs = 3;
    bool quick = false;
    std::set<QString> sections; // all of SectionNames unless chosen
    QString panelProgram;       // the full console program, for the start-up figures
    QString simProgram;         // the simulated controller
    bool startupProbe = false;  // internal: this process is the start-up child

    // Polling session: ticks in all, and the CPU windows (one per run) taken from its start.
    int pollTicks() const { return quick ? 10 : std::max(100, runs * 30 + 10); }
    int cpuWindowMs() const { return quick ? 10'000 : 60'000; }
    int cpuWindows() const { return quick ? 1 : runs; }
    // The hour of polling, compressed: polls at a fast interval.
    int hourPolls() const { return hourPollCount > 0 ? hourPollCount : quick ? 180 : 1800; }
    int hourIntervalMs() const { return hourInterval; }
    int hourPollCount = 0; // 0: by the mode
    int hourInterval = 100;
};

// Parses the arguments (the program name first). On failure or --help returns nullopt and sets
// `error` or `help`.
std::optional<Options> parseOptions(const QStringList& arguments, QString* error, QString* help);

} // namespace vesk::bench
