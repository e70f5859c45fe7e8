#include "bench.h"

#include <algorithm>

namespace vesk::bench {

std::vector<Chunk> cutFrames(const LineRecord& sent) {
    std::vector<Chunk> frames;
    for (qsizetype pos = 0; pos + 5 <= sent.bytes.size();) {
        const qsizetype length = 6 + quint8(sent.bytes.at(pos + 4));
        if (pos + length > sent.bytes.size())
            break;
        frames.push_back({sent.bytes.mid(pos, length), sent.arrivalNs.at(std::size_t(pos)),
                          sent.arrivalNs.at(std::size_t(pos + length - 1))});
        pos += length;
    }
    return frames;
}

std::vector<Chunk> cutBursts(const LineRecord& replies, std::int64_t idleNs) {
    std::vector<Chunk> bursts;
    for (qsizetype i = 0; i < replies.bytes.size(); ++i) {
        const std::int64_t at = replies.arrivalNs.at(std::size_t(i));
        if (bursts.empty() || at - bursts.back().lastNs > idleNs)
            bursts.push_back({{}, at, at});
        bursts.back().bytes.append(replies.bytes.at(i));
        bursts.back().lastNs = at;
    }
    return bursts;
}

bool isStatusQuery(const QByteArray& frame) {
    return frame.size() == 7 && quint8(frame.at(3)) == 0x20 && quint8(frame.at(5)) == 0x01;
}

std::vector<std::pair<std::int64_t, std::int64_t>> pairQueries(const std::vector<Chunk>& frames,
                                                               std::int64_t maxGapNs) {
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
    const Chunk* open = nullptr;
    for (const Chunk& frame : frames) {
        if (!isStatusQuery(frame.bytes))
            continue;
        if (open && frame.firstNs - open->firstNs <= maxGapNs && frame.bytes == open->bytes) {
            pairs.emplace_back(open->firstNs, frame.firstNs);
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

std::optional<double> percentile(std::vector<double> values, double p) {
    if (values.empty() || p <= 0 || p > 100)
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(p / 100 * double(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

std::optional<double> Figure::worst() const {
    // A sample outside the goal always lies farther from its edge than one inside.
    const auto edge = [this](double v) {
        return std::isinf(low) ? v : std::isinf(high) ? -v : std::abs(v - (low + high) / 2);
    };
    const auto it = std::max_element(samples.begin(), samples.end(),
                                     [&](double a, double b) { return edge(a) < edge(b); });
    return it == samples.end() ? std::nullopt : std::optional(*it);
}

bool Figure::passed() const {
    const std::optional<double> judged = byMedian ? percentile(samples, 50) : worst();
    return judged && *judged >= low && *judged <= high;
}

QString renderTable(const std::vector<Figure>& figures) {
    int width = 6;
    for (const Figure& f : figures)
        width = std::max(width, int(f.name.size()));
    const auto row = [width](const QStringList& c) {
        return QString::asprintf("%-*s  %-12s %7s %7s %4s  %-6s  %s\n", width, qPrintable(c[0]),
                                 qPrintable(c[1]), qPrintable(c[2]), qPrintable(c[3]),
                                 qPrintable(c[4]), qPrintable(c[5]), qPrintable(c[6]));
    };
    QString out = row({"figure", "goal", "median", "worst", "n", "unit", "result"});
    out += QString(out.size() - 1, QLatin1Char('-')) + QLatin1Char('\n');
    for (const Figure& f : figures) {
        const auto number = [&f](std::optional<double> v) {
            return v ? QString::number(*v, 'f', f.decimals) : QStringLiteral("-");
        };
        const auto bound = [&f](double v) { return QString::number(v, 'g', 6) + ' ' + f.unit; };
        const QString goal = std::isinf(f.low) && std::isinf(f.high) ? QStringLiteral("-")
                             : std::isinf(f.low)                     ? "<= " + bound(f.high)
                             : std::isinf(f.high)                    ? ">= " + bound(f.low)
                                                  : QString::number(f.low) + ".." + bound(f.high);
        const QString verdict = f.samples.empty() ? "NO DATA"
                                : goal == "-"     ? "info"
                                : f.passed()      ? "pass"
                                                  : "FAIL";
        out += row({f.name, goal, number(percentile(f.samples, 50)), number(f.worst()),
                    QString::number(f.samples.size()), f.unit, verdict});
    }
    return out;
}

bool allPassed(const std::vector<Figure>& figures) {
    return std::all_of(figures.begin(), figures.end(), [](const Figure& f) { return f.passed(); });
}

} // namespace vesk::bench
