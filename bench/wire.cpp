#include "wire.h"

namespace vesk::bench {

std::vector<Frame> cutFrames(const QByteArray& stream, const std::vector<std::int64_t>& arrivalNs) {
    std::vector<Frame> frames;
    qsizetype pos = 0;
    while (pos + 5 <= stream.size()) {
        const qsizetype length = 6 + quint8(stream.at(pos + 4));
        if (pos + length > stream.size())
            break;
        frames.push_back({stream.mid(pos, length), arrivalNs.at(std::size_t(pos))});
        pos += length;
    }
    return frames;
}

std::vector<Burst> cutBursts(const QByteArray& stream, const std::vector<std::int64_t>& arrivalNs,
                             std::int64_t idleNs) {
    std::vector<Burst> bursts;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        const std::int64_t at = arrivalNs.at(std::size_t(i));
        if (bursts.empty() || at - bursts.back().lastNs > idleNs)
            bursts.push_back({{}, at, at});
        bursts.back().bytes.append(stream.at(i));
        bursts.back().lastNs = at;
    }
    return bursts;
}

bool isStatusQuery(const QByteArray& frame) {
    return frame.size() == 7 && quint8(frame.at(3)) == 0x20 && quint8(frame.at(5)) == 0x01;
}

std::vector<QueryPair> pairQueries(const std::vector<Frame>& frames, std::int64_t maxGapNs) {
    std::vector<QueryPair> pairs;
    const Frame* open = nullptr;
    for (const Frame& frame : frames) {
        if (!isStatusQuery(frame.bytes))
            continue;
        if (open && frame.firstNs - open->firstNs <= maxGapNs && frame.bytes == open->bytes) {
            pairs.push_back({open->firstNs, frame.firstNs});
            open = nullptr;
        } else {
            open = &frame;
        }
    }
    return pairs;
}

std::vector<std::int64_t> driftOf(const std::vector<std::int64_t>& tickNs, std::int64_t periodNs) {
    std::vector<std::int64_t> drift;
    for (std::size_t n = 0; n < tickNs.size(); ++n)
        drift.push_back(tickNs[n] - tickNs.front() - std::int64_t(n) * periodNs);
    return drift;
}

} // namespace vesk::bench
