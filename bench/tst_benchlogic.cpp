// The bench's reading of the line record and its judging of figures.
#include <QTest>

#include <numeric>

#include "bench/bench.h"

using namespace vesk::bench;

namespace {

// Milliseconds to nanoseconds, one per element.
std::vector<std::int64_t> ns(const QList<int>& timesMs) {
    std::vector<std::int64_t> out;
    for (int t : timesMs)
        out.push_back(std::int64_t(t) * 1'000'000);
    return out;
}

} // namespace

class TestBenchLogic : public QObject {
    Q_OBJECT
private slots:
    void judging_data() {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<bool>("byMedian");
        QTest::addColumn<QList<double>>("samples");
        QTest::addColumn<double>("worst");
        QTest::addColumn<bool>("passed");
        const double inf = Unbounded;
        QTest::newRow("lower bound: worst is the smallest")
            << 100.0 << inf << false << QList<double>{400, 90, 250} << 90.0 << false;
        QTest::newRow("range met: worst is farthest from the middle")
            << 100.0 << 102.0 << false << QList<double>{101, 100.2, 101.5} << 100.2 << true;
        QTest::newRow("judged by the median despite an outlier")
            << 100.0 << 102.0 << true << QList<double>{101, 100.5, 104, 101.2} << 104.0 << true;
        QTest::newRow("median outside the range")
            << 100.0 << 102.0 << true << QList<double>{103, 102.5, 101} << 103.0 << false;
        QTest::newRow("information: worst is the largest")
            << -inf << inf << false << QList<double>{3, 7, 5} << 7.0 << true;
    }
    void judging() {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(bool, byMedian);
        QFETCH(QList<double>, samples);
        const Figure figure{"f", "ms", low, high, byMedian, 1, {samples.begin(), samples.end()}};
        QTEST(*figure.worst(), "worst");
        QTEST(allPassed({figure}), "passed");
        // A measurement that did not happen never reads as a pass.
        QVERIFY(!allPassed({figure, Figure{"g", "ms", low, high, byMedian}}));
    }

    void table() {
        const QStringList lines =
            renderTable({{"gap", "ms", 100, 102, true, 2, {101.5, 101}},
                         {"a longer name", "ms", -Unbounded, 250, 0, 1, {120, 260}},
                         {"painted", "ms", -Unbounded, Unbounded, 0, 1, {58.4}},
                         {"ratio", "x", 100, Unbounded}})
                .split('\n');
        QCOMPARE(lines.size(), 7); // header, rule, four rows, the empty rest after the last
        QCOMPARE(lines[2].simplified(), "gap 100..102 ms 101.00 101.50 2 ms pass");
        QCOMPARE(lines[3].simplified(), "a longer name <= 250 ms 120.0 260.0 2 ms FAIL");
        QCOMPARE(lines[4].simplified(), "painted - 58.4 58.4 1 ms info");
        QCOMPARE(lines[5].simplified(), "ratio >= 100 x - - 0 x NO DATA");
        QCOMPARE(lines[3].indexOf("<="), lines[0].indexOf("goal")); // the columns line up
    }

    void percentiles() {
        std::vector<double> hundred(100);
        std::iota(hundred.rbegin(), hundred.rend(), 1.0); // 100 down to 1
        QCOMPARE(*percentile(hundred, 99), 99.0);         // nearest rank: the 99th of 100
        QCOMPARE(*percentile({4, 1, 3, 2}, 50), 2.0);
    }

    void cutting() {
        // Frames by their length byte; a tail not yet complete is left out.
        const std::vector<Chunk> frames =
            cutFrames({QByteArray::fromHex("CA200118020301F6 CA20FE200101F5 CA20FE20"),
                       ns({0, 1, 1, 1, 1, 1, 1, 2, 600, 0, 0, 0, 0, 0, 601, 700, 0, 0, 0})});
        QCOMPARE(frames.size(), 2u);
        QCOMPARE(frames[1].bytes, QByteArray::fromHex("CA20FE200101F5"));
        QCOMPARE(
            std::vector({frames[0].firstNs, frames[0].lastNs, frames[1].firstNs, frames[1].lastNs}),
            ns({0, 2, 600, 601}));
        // Bursts split where the line was idle for more than 5 ms; exactly 5 ms joins.
        const std::vector<Chunk> bursts =
            cutBursts({"abcdef", ns({10, 15, 16, 110, 111, 117})}, 5'000'000);
        QCOMPARE(bursts.size(), 3u);
        QCOMPARE(QList({bursts[0].bytes, bursts[1].bytes, bursts[2].bytes}),
                 QList<QByteArray>({"abc", "de", "f"}));
        QCOMPARE(std::vector({bursts[1].firstNs, bursts[1].lastNs}), ns({110, 111}));
    }

    void queryPairs() {
        // Each tick's two status queries form a pair: a switch frame between them is passed over;
        // a query whose partner was lost or is too far away, or that goes to another address,
        // pairs with nothing and does not shift the pairing.
        const QByteArray q = QByteArray::fromHex("CA20FE200101F5");
        std::vector<Chunk> frames;
        for (const auto& [frame, atMs] :
             {std::pair(q, 0), std::pair(q, 101), std::pair(q, 2000), std::pair(q, 2600),
              std::pair(QByteArray::fromHex("CA20FE18020301F9"), 2650), std::pair(q, 2701),
              std::pair(q, 4000), std::pair(QByteArray::fromHex("CA2001200101F2"), 4100)})
            frames.push_back({frame, std::int64_t(atMs) * 1'000'000});
        std::vector<std::int64_t> pairs;
        for (const auto& [first, second] : pairQueries(frames, 500'000'000))
            pairs.insert(pairs.end(), {first, second});
        QCOMPARE(pairs, ns({0, 101, 2600, 2701}));
    }

    void drift() {
        // Late ticks that catch up show as deviations, not as a changed period.
        QCOMPARE(driftOf(ns({100, 2103, 4100, 6098}), 2'000'000'000), ns({0, 3, 0, -2}));
    }
};

QTEST_GUILESS_MAIN(TestBenchLogic)
#include "tst_benchlogic.moc"
