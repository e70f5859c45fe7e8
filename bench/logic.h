// The bench's arithmetic: reading the recorded line traffic, and judging and printing the figures.
// Times are nanoseconds on the monotonic clock.
#pragma once

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace vesk::bench {

// Bytes that passed one way on the line, each with the time it passed.
struct LineRecord {
    QByteArray bytes;
    std::vector<std::int64_t> arrivalNs;
};

// Bytes that passed together, and when their first and last byte passed.
struct Chunk {
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

// Median (mean of the two middle values for an even count); nearest-rank percentile, p in (0, 100].
std::optional<double> median(std::vector<double> values);
std::optional<double> percentile(std::vector<double> values, double p);

constexpr double Unbounded = std::numeric_limits<double>::infinity();

// One measured quantity held to the goal low..high; with neither bound it is for information.
struct Figure {
    Figure(QString n, QString u, double lo = -Unbounded, double hi = Unbounded, bool med = false,
           int dec = 1, std::vector<double> s = {})
        : name(n), unit(u), low(lo), high(hi), byMedian(med), decimals(dec), samples(s) {}
    QString name;
    QString unit;
    double low;
    double high;
    bool byMedian; // for a typical value whose spread has a figure of its own
    int decimals;
    std::vector<double> samples;

    void add(double sample) { samples.push_back(sample); }
    // The sample farthest outside the goal; with all inside, the one nearest its edge (largest for
    // an upper bound, smallest for a lower one, farthest from the middle of a range).
    std::optional<double> worst() const;
    // Judged by the median or by every sample. Without samples a figure never passes: the
    // measurement did not happen.
    bool passed() const;
};

// A header row, a rule, then a row per figure: goal, median, worst, samples, unit and verdict.
QString renderTable(const std::vector<Figure>& figures);
bool allPassed(const std::vector<Figure>& figures);

} // namespace vesk::bench
