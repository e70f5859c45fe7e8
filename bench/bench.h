// vesk-bench: reading the line record and judging figures (tested on their own), the wire tap and
// the measurement sessions. Times are nanoseconds on the monotonic clock.
#pragma once

#include <QStringList>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vesk::bench {

struct LineRecord { // bytes that passed one way on the line, each with the time it passed
    QByteArray bytes;
    std::vector<std::int64_t> arrivalNs;
};

struct Chunk { // bytes that passed together
    QByteArray bytes;
    std::int64_t firstNs = 0;
    std::int64_t lastNs = 0;
};

// The console's output cut into frames, each 6 + byte 4 bytes long; an incomplete tail is left out.
std::vector<Chunk> cutFrames(const LineRecord& sent);
// The controller's output cut into replies wherever the line was idle for more than `idleNs`.
std::vector<Chunk> cutBursts(const LineRecord& replies, std::int64_t idleNs);
bool isStatusQuery(const QByteArray& frame);
// A status query goes out twice: the start times of each two equal status-query frames at most
// `maxGapNs` apart. A frame without its partner (lost, or outside the record) is skipped.
std::vector<std::pair<std::int64_t, std::int64_t>> pairQueries(const std::vector<Chunk>& frames,
                                                               std::int64_t maxGapNs);
// For ticks meant to come every `periodNs`: how far tick n lies from tick 0 + n * period.
std::vector<std::int64_t> driftOf(const std::vector<std::int64_t>& tickNs, std::int64_t periodNs);

// Nearest-rank percentile, p in (0, 100]; p 50 is the median (the lower one of an even count).
std::optional<double> percentile(std::vector<double> values, double p);

constexpr double Unbounded = HUGE_VAL;

// One measured quantity held to the goal low..high; with neither bound it is for information.
struct Figure {
    Figure(QString name, QString unit, double low = -Unbounded, double high = Unbounded,
           bool byMedian = false, int decimals = 1, std::vector<double> samples = {})
        : name(name), unit(unit), low(low), high(high), byMedian(byMedian), decimals(decimals),
          samples(samples) {}
    QString name;
    QString unit;
    double low;
    double high;
    bool byMedian; // for a typical value whose spread has a figure of its own, else the worst
    int decimals;
    std::vector<double> samples;

    void add(double sample) { samples.push_back(sample); }
    // The sample nearest the goal's edge or farthest beyond it (largest for an upper bound,
    // smallest for a lower one, farthest from the middle of a range).
    std::optional<double> worst() const;
    bool passed() const; // never without samples: the measurement did not happen
};

// A header row, a rule, then a row per figure: goal, median, worst, samples, unit and verdict.
QString renderTable(const std::vector<Figure>& figures);
bool allPassed(const std::vector<Figure>& figures);

inline std::int64_t monotonicNs() {
    return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// The console's pseudo-terminal and the controller's, joined by a thread of the tap's own that
// passes every byte across at once and notes when: the console's CPU figures stay the console's
// own.
class WireTap {
public:
    ~WireTap();
    bool start(const QString& devicePath, QString* error); // then the console opens consolePath

    enum Direction { FromConsole, FromDevice };
    LineRecord record(Direction direction) const;
    void clear(); // what record() returns
    QString consolePath;
    std::atomic<bool> recording{true}; // off: bytes are passed on but not kept

private:
    void run();

    int m_fds[2] = {-1, -1}; // the console's master side, the controller's terminal
    int m_consoleSlave = -1; // held open so that the console's closing the port is no hang-up
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    LineRecord m_records[2];
};

struct Options {
    int runs = 3;
    bool quick = false; // short intervals and one run, for a smoke check
    QStringList sections{"hold", "poll", "switch", "startup", "hour"};
    int hourPolls = 1800;
    int hourIntervalMs = 100;
};

// Runs the chosen sections in the order above and returns their figures.
std::vector<Figure> runBench(const Options& options, WireTap& tap);

// The child role of the start-up section: shows the console window as the program does and prints
// "SHOWN <monotonic ns>" when it is first painted.
int runStartupProbe();

} // namespace vesk::bench
