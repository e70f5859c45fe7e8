// The bench's judging of figures, its reading of the line record and its command line.
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "bench/figures.h"
#include "bench/options.h"
#include "bench/wire.h"
#include "bench/wiretap.h"

using namespace vesk::bench;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// One arrival time per byte: byte i arrives at times[i] ms.
std::vector<std::int64_t> arrivals(const QList<int>& timesMs) {
    std::vector<std::int64_t> out;
    for (int t : timesMs)
        out.push_back(std::int64_t(t) * 1'000'000);
    return out;
}

std::vector<double> toVector(const QList<double>& values) {
    return {values.begin(), values.end()};
}

// Reads what arrives on `fd` within `timeoutMs`, until `count` bytes are there.
QByteArray readFor(int fd, qsizetype count, int timeoutMs) {
    QByteArray got;
    const std::int64_t end = monotonicNs() + std::int64_t(timeoutMs) * 1'000'000;
    while (got.size() < count && monotonicNs() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
    }
    return got;
}

} // namespace

class TestBenchLogic : public QObject {
    Q_OBJECT
private slots:
    void judging_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<bool>("byMedian");
        QTest::addColumn<QList<double>>("samples");
        QTest::addColumn<double>("median");
        QTest::addColumn<double>("worst");
        QTest::addColumn<bool>("passed");
        const int most = int(Goal::Kind::AtMost), least = int(Goal::Kind::AtLeast),
                  range = int(Goal::Kind::Between), none = int(Goal::Kind::None);
        QTest::newRow("upper bound met")
            << most << 0.0 << 1.0 << false << QList<double>{0.2, 0.9, 0.1} << 0.2 << 0.9 << true;
        QTest::newRow("upper bound, one run over")
            << most << 0.0 << 1.0 << false << QList<double>{0.2, 1.5, 0.1} << 0.2 << 1.5 << false;
        QTest::newRow("lower bound: worst is the smallest")
            << least << 100.0 << 0.0 << false << QList<double>{400, 90, 250} << 250.0 << 90.0
            << false;
        QTest::newRow("range: worst is the one outside")
            << range << 100.0 << 102.0 << false << QList<double>{101, 99.5, 101.9} << 101.0 << 99.5
            << false;
        QTest::newRow("range met: worst is farthest from the middle")
            << range << 100.0 << 102.0 << false << QList<double>{101, 100.2, 101.5} << 101.0
            << 100.2 << true;
        QTest::newRow("judged by the median despite an outlier")
            << range << 100.0 << 102.0 << true << QList<double>{101, 100.5, 104, 101.2} << 101.1
            << 104.0 << true;
        QTest::newRow("median outside the range")
            << range << 100.0 << 102.0 << true << QList<double>{103, 102.5, 101} << 102.5 << 103.0
            << false;
        QTest::newRow("informational: worst is the largest")
            << none << 0.0 << 0.0 << false << QList<double>{3, 7, 5} << 5.0 << 7.0 << true;
    }
    void judging() {
        QFETCH(int, kind);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(bool, byMedian);
        QFETCH(QList<double>, samples);
        Figure figure(QStringLiteral("f"), QStringLiteral("ms"), Goal{Goal::Kind(kind), low, high},
                      byMedian ? Figure::Judge::Median : Figure::Judge::Worst);
        figure.add(toVector(samples));
        QTEST(*figure.median(), "median");
        QTEST(*figure.worst(), "worst");
        QTEST(figure.passed(), "passed");
    }

    void noSamplesFailsTheRun() {
        // A measurement that did not happen must not read as a pass.
        const Figure empty(QStringLiteral("f"), QStringLiteral("ms"), Goal::atMost(1));
        QVERIFY(!empty.passed());
        QVERIFY(!allPassed({empty}));
        QCOMPARE(empty.row().last(), QStringLiteral("NO DATA"));
    }

    void table() {
        Figure met(QStringLiteral("gap"), QStringLiteral("ms"), Goal::between(100, 102));
        met.add(101.5);
        Figure missed(QStringLiteral("a longer figure name"), QStringLiteral("ms"),
                      Goal::atMost(250));
        missed.add({120, 260});
        Figure info(QStringLiteral("painted"), QStringLiteral("ms"), Goal::none());
        info.add(58.4);
        const QStringList lines = renderTable({met, missed, info}).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 6); // header, rule, three rows, the empty rest after the last
        QVERIFY(lines[2].startsWith(QLatin1String("gap ")));
        QVERIFY(lines[2].endsWith(QLatin1String("pass")));
        QVERIFY(lines[3].contains(QLatin1String("<= 250 ms")));
        QVERIFY(lines[3].endsWith(QLatin1String("FAIL")));
        QVERIFY(lines[4].contains(QLatin1String("58.4")) &&
                lines[4].endsWith(QLatin1String("info")));
        // The goal column starts at the same place in every row.
        const qsizetype goalColumn = lines[3].indexOf(QLatin1String("<= 250"));
        QCOMPARE(lines[2].indexOf(QLatin1String("100..102")), goalColumn);
        QVERIFY(!allPassed({met, missed, info}));
        QVERIFY(allPassed({met, info}));
    }

    void tapPassesBothWays_data() {
        QTest::addColumn<bool>("fromConsole");
        QTest::addColumn<bool>("recording");
        QTest::newRow("console to device") << true << true;
        QTest::newRow("device to console") << false << true;
        QTest::newRow("not recording still passes") << true << false;
    }
    void tapPassesBothWays() {
        QFETCH(bool, fromConsole);
        QFETCH(bool, recording);
        int deviceMaster = -1, deviceSlave = -1;
        char name[256] = {};
        QCOMPARE(openpty(&deviceMaster, &deviceSlave, name, nullptr, nullptr), 0);
        termios tio{};
        tcgetattr(deviceSlave, &tio);
        cfmakeraw(&tio);
        tcsetattr(deviceSlave, TCSANOW, &tio);

        WireTap tap;
        QString error;
        QVERIFY2(tap.start(QString::fromLocal8Bit(name), &error), qPrintable(error));
        tap.setRecording(recording);
        const int console = ::open(tap.consolePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(console >= 0);
        tcgetattr(console, &tio);
        cfmakeraw(&tio);
        tcsetattr(console, TCSANOW, &tio);

        const QByteArray frame = hex("CA20FE200101F5");
        const std::int64_t before = monotonicNs();
        QCOMPARE(::write(fromConsole ? console : deviceMaster, frame.constData(), frame.size()),
                 ssize_t(frame.size()));
        QCOMPARE(readFor(fromConsole ? deviceMaster : console, frame.size(), 2000), frame);

        const WireTap::Record record = fromConsole ? tap.fromConsole() : tap.fromDevice();
        const WireTap::Record other = fromConsole ? tap.fromDevice() : tap.fromConsole();
        QVERIFY(other.bytes.isEmpty());
        if (!recording) {
            QVERIFY(record.bytes.isEmpty());
        } else {
            QCOMPARE(record.bytes, frame);
            QCOMPARE(record.arrivalNs.size(), std::size_t(frame.size()));
            QVERIFY(record.arrivalNs.front() >= before);
            QVERIFY(record.arrivalNs.back() <= monotonicNs());
        }
        tap.stop();
        ::close(console);
        ::close(deviceMaster);
        ::close(deviceSlave);
    }

    void percentile_data() {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("expected");
        QList<double> hundred;
        for (int i = 100; i >= 1; --i)
            hundred << i;
        QTest::newRow("p99 of 100 is the 99th") << hundred << 99.0 << 99.0;
        QTest::newRow("p100 is the largest") << hundred << 100.0 << 100.0;
        QTest::newRow("p99 of 3 is the largest") << QList<double>{5, 1, 3} << 99.0 << 5.0;
        QTest::newRow("p50 of 4") << QList<double>{4, 1, 3, 2} << 50.0 << 2.0;
        QTest::newRow("tiny p gives the smallest") << QList<double>{4, 1, 3} << 0.1 << 1.0;
    }
    void percentile() {
        QFETCH(QList<double>, values);
        QFETCH(double, p);
        QTEST(*vesk::bench::percentile(toVector(values), p), "expected");
    }

    void frames_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<int>>("timesMs");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QList<int>>("startsMs");
        QTest::newRow("two queries")
            << hex("CA20FE200101F5 CA20FE200101F5")
            << QList<int>{0, 0, 0, 0, 0, 0, 0, 101, 101, 101, 101, 101, 101, 101}
            << QStringList{"ca20fe200101f5", "ca20fe200101f5"} << QList<int>{0, 101};
        QTest::newRow("switch then query; the query's tail not yet arrived")
            << hex("CA20011802030 1F6 CA20FE2001")
            << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 600, 600, 600, 600, 600}
            << QStringList{"ca20011802 0301f6"} << QList<int>{0};
        QTest::newRow("nothing complete")
            << hex("CA20FE") << QList<int>{0, 0, 0} << QStringList{} << QList<int>{};
    }
    void frames() {
        QFETCH(QByteArray, stream);
        QFETCH(QList<int>, timesMs);
        QFETCH(QStringList, frames);
        QFETCH(QList<int>, startsMs);
        const std::vector<Frame> cut = cutFrames(stream, arrivals(timesMs));
        QCOMPARE(int(cut.size()), frames.size());
        for (std::size_t i = 0; i < cut.size(); ++i) {
            QCOMPARE(cut[i].bytes, hex(qPrintable(frames[qsizetype(i)])));
            QCOMPARE(cut[i].firstNs, std::int64_t(startsMs[qsizetype(i)]) * 1'000'000);
        }
    }

    void bursts_data() {
        QTest::addColumn<QList<int>>("timesMs");
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<QList<int>>("lastMs");
        QTest::newRow("a reply at line pace is one burst")
            << QList<int>{10, 11, 12, 13, 14, 15} << QList<int>{6} << QList<int>{15};
        QTest::newRow("two replies 100 ms apart")
            << QList<int>{10, 11, 12, 110, 111, 112} << QList<int>{3, 3} << QList<int>{12, 112};
        QTest::newRow("a pause of exactly the idle time joins")
            << QList<int>{0, 5, 11} << QList<int>{2, 1} << QList<int>{5, 11};
    }
    void bursts() {
        QFETCH(QList<int>, timesMs);
        QFETCH(QList<int>, sizes);
        QFETCH(QList<int>, lastMs);
        const QByteArray stream(timesMs.size(), 'x');
        const std::vector<Burst> cut = cutBursts(stream, arrivals(timesMs), 5'000'000);
        QCOMPARE(int(cut.size()), sizes.size());
        for (std::size_t i = 0; i < cut.size(); ++i) {
            QCOMPARE(int(cut[i].bytes.size()), sizes[qsizetype(i)]);
            QCOMPARE(cut[i].lastNs, std::int64_t(lastMs[qsizetype(i)]) * 1'000'000);
        }
    }

    void queryPairs_data() {
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QList<int>>("startsMs");
        QTest::addColumn<QList<int>>("pairStartsMs");
        QTest::addColumn<QList<int>>("pairGapsMs");
        const QString q = QStringLiteral("CA20FE200101F5");
        const QString sw = QStringLiteral("CA20FE18020301F9");
        QTest::newRow("two ticks") << QStringList{q, q, q, q} << QList<int>{0, 101, 2000, 2101}
                                   << QList<int>{0, 2000} << QList<int>{101, 101};
        QTest::newRow("a lost second frame does not shift the pairing")
            << QStringList{q, q, q} << QList<int>{0, 2000, 2102} << QList<int>{2000}
            << QList<int>{102};
        QTest::newRow("a switch frame in between is ignored")
            << QStringList{sw, q, q} << QList<int>{0, 600, 700} << QList<int>{600}
            << QList<int>{100};
        QTest::newRow("frames too far apart are no pair")
            << QStringList{q, q} << QList<int>{0, 900} << QList<int>{} << QList<int>{};
        QTest::newRow("queries to different addresses are no pair")
            << QStringList{q, QStringLiteral("CA2001200101F2")} << QList<int>{0, 100}
            << QList<int>{} << QList<int>{};
    }
    void queryPairs() {
        QFETCH(QStringList, frames);
        QFETCH(QList<int>, startsMs);
        QFETCH(QList<int>, pairStartsMs);
        QFETCH(QList<int>, pairGapsMs);
        std::vector<Frame> input;
        for (qsizetype i = 0; i < frames.size(); ++i)
            input.push_back({hex(qPrintable(frames[i])), std::int64_t(startsMs[i]) * 1'000'000});
        const std::vector<QueryPair> pairs = pairQueries(input, 500'000'000);
        QCOMPARE(int(pairs.size()), pairStartsMs.size());
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            QCOMPARE(pairs[i].firstNs, std::int64_t(pairStartsMs[qsizetype(i)]) * 1'000'000);
            QCOMPARE(pairs[i].secondNs - pairs[i].firstNs,
                     std::int64_t(pairGapsMs[qsizetype(i)]) * 1'000'000);
        }
    }

    void drift() {
        // Late ticks that catch up show as deviations, not as a changed period.
        const std::vector<std::int64_t> drift =
            driftOf(arrivals({100, 2103, 4100, 6098}), 2'000'000'000);
        QCOMPARE(drift, arrivals({0, 3, 0, -2}));
    }

    void options_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("runs");
        QTest::addColumn<QStringList>("sections");
        const QStringList all = SectionNames;
        QTest::newRow("defaults") << QStringList{} << true << 3 << all;
        QTest::newRow("quick is one run") << QStringList{"--quick"} << true << 1 << all;
        QTest::newRow("quick with runs")
            << QStringList{"--quick", "--runs", "2"} << true << 2 << all;
        QTest::newRow("chosen sections")
            << QStringList{"--sections", "poll, hold"} << true << 3 << QStringList{"hold", "poll"};
        QTest::newRow("unknown section")
            << QStringList{"--sections", "poll,warp"} << false << 0 << QStringList{};
        QTest::newRow("zero runs") << QStringList{"--runs", "0"} << false << 0 << QStringList{};
        QTest::newRow("runs not a number")
            << QStringList{"--runs", "3x"} << false << 0 << QStringList{};
        QTest::newRow("hour interval too short")
            << QStringList{"--hour-interval", "5"} << false << 0 << QStringList{};
        QTest::newRow("hour of one poll has no halves")
            << QStringList{"--hour-polls", "1"} << false << 0 << QStringList{};
        QTest::newRow("stray argument") << QStringList{"poll"} << false << 0 << QStringList{};
    }
    void options() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        QString error, help;
        const auto parsed = parseOptions(QStringList{"vesk-bench"} + arguments, &error, &help);
        QCOMPARE(parsed.has_value(), valid);
        QCOMPARE(error.isEmpty(), valid);
        if (!parsed)
            return;
        QTEST(parsed->runs, "runs");
        QFETCH(QStringList, sections);
        std::sort(sections.begin(), sections.end());
        QCOMPARE(QStringList(parsed->sections.begin(), parsed->sections.end()), sections);
    }
};

QTEST_GUILESS_MAIN(TestBenchLogic)
#include "tst_benchlogic.moc"
