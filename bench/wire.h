// Reading the recorded line traffic: frames the console wrote, bursts the controller sent back,
// and the timing figures derived from them. Times are nanoseconds on the monotonic clock.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace vesk::bench {

struct Frame {
    QByteArray bytes;
    std::int64_t firstNs = 0; // arrival of its first byte
};

struct Burst {
    QByteArray bytes;
    std::int64_t firstNs = 0;
    std::int64_t lastNs = 0; // arrival of its last byte: the end of the reply on the line
};

// The console's output cut into frames: each is 6 + byte 4 bytes long. A trailing incomplete
// frame is left out.
std::vector<Frame> cutFrames(const QByteArray& stream, const std::vector<std::int64_t>& arrivalNs);

// The controller's output cut into bursts: a new burst starts wherever the line was idle for more
// than `idleNs` between two bytes.
std::vector<Burst> cutBursts(const QByteArray& stream, const std::vector<std::int64_t>& arrivalNs,
                             std::int64_t idleNs);

// A status query goes out twice; pairs consecutive status-query frames whose starts are at most
// `maxGapNs` apart. A frame that finds no partner (the other was lost or lies outside the record)
// is skipped.
struct QueryPair {
    std::int64_t firstNs = 0;
    std::int64_t secondNs = 0;
};
std::vector<QueryPair> pairQueries(const std::vector<Frame>& frames, std::int64_t maxGapNs);

// For ticks meant to come every `periodNs`: the deviation of tick n from tick 0 + n * period.
std::vector<std::int64_t> driftOf(const std::vector<std::int64_t>& tickNs, std::int64_t periodNs);

bool isStatusQuery(const QByteArray& frame);

} // namespace vesk::bench
