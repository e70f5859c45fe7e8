#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>

#include "bench/bench.h"
#include "channels/multichannelarea.h"
#include "link/datadisplay.h"
#include "link/delay.h"
#include "link/serialport.h"
#include "window/statusquery.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk::bench {

namespace {

constexpr std::int64_t MsNs = 1'000'000;
constexpr double Gap = SerialPortControl::QuietGapMs;

double ms(std::int64_t ns) {
    return double(ns) / MsNs;
}

// Wall time and the console thread's own CPU time at one moment, or between two.
struct Stamp {
    std::int64_t wallNs = 0;
    std::int64_t cpuNs = 0;
    static Stamp now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return {monotonicNs(), std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec};
    }
    Stamp operator-(const Stamp& from) const { return {wallNs - from.wallNs, cpuNs - from.cpuNs}; }
    double percent() const { return wallNs > 0 ? 100.0 * double(cpuNs) / double(wallNs) : 0; }
};

// How many times more CPU the reference wait used; the console's CPU is floored at a microsecond
// so that a wait that used none still gives a finite ratio.
double ratio(const Stamp& reference, const Stamp& console) {
    return double(reference.cpuNs) / double(std::max<std::int64_t>(console.cpuNs, 1000));
}

// Runs the event loop for `ms`, sleeping between events as an idle program waits; given `done`,
// only until it holds (looked at every 5 ms, so not in CPU windows).
bool idle(int ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (done)
        check.start(5);
    if (!done || !done())
        loop.exec();
    return !done || done();
}

// The naive way to write a wait: pump events in a loop until the time is up. Runs on the console
// thread, so the console's own events (replies, timer ticks) are handled meanwhile.
Stamp referenceWait(std::int64_t durationNs) {
    const Stamp start = Stamp::now();
    while (monotonicNs() - start.wallNs <= durationNs)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return Stamp::now() - start;
}

// Resident memory of a process in kilobytes ("self" for this one).
double residentKb(const QString& pid) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (file.open(QIODevice::ReadOnly)) // /proc reports no size: read it whole
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble();
    return -1;
}

// Bytes the allocator has handed out and not had back, in kilobytes: a leak shows here even where
// the allocator's page reuse hides it from the resident size.
double heapInUseKb() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1024;
}

// Calls `handler` whenever `watched` receives an event of `type`, before the object handles it.
class EventWatch : public QObject {
public:
    EventWatch(QObject* watched, QEvent::Type type, QObject* parent, std::function<void()> handler)
        : QObject(parent), m_type(type), m_handler(std::move(handler)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == m_type)
            m_handler();
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_handler;
};

// The console window of the full program on the tapped line, after its start-up sequence.
struct Console {
    Console() {
        resetShutdown();
        window->startUp();
        window->show();
        settle();
    }
    ~Console() { settle(); }
    QPushButton* button(const QString& name) const { return window->findChild<QPushButton*>(name); }
    // Waits until every operation has run to its end and the last reply has been coloured.
    void settle() {
        idle(15'000, [] { return Module1::pendingDelays() == 0; });
        idle(50);
    }
    std::unique_ptr<VESK> window =
        std::make_unique<VESK>(BuildProfile::full(&createMultiChannelArea));
};

constexpr double inf = Unbounded;

std::vector<Figure> hold(const Options& options, WireTap&) {
    Figure cpu{"hold 9 s: console CPU", "% core", -inf, 1, false, 3};
    Figure busy{"hold 9 s: busy-pump reference CPU", "% core"};
    Figure times{"hold 9 s: reference / console", "x", 100, inf, false, 0};
    Console console;
    QPushButton* allOn = console.button(QStringLiteral("Command3_0"));
    for (int run = 1; allOn && run <= options.runs; ++run) {
        console.settle();
        // From the button's disabling by the click to its enabling at the end of the hold.
        Stamp disabled, enabled;
        QEventLoop loop;
        EventWatch watch(allOn, QEvent::EnabledChange, nullptr, [&] {
            (allOn->isEnabled() ? enabled : disabled) = Stamp::now();
            if (allOn->isEnabled())
                loop.quit();
        });
        QTimer::singleShot(0, allOn, &QPushButton::click);
        QTimer::singleShot(15'000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!disabled.wallNs || enabled.wallNs < disabled.wallNs)
            continue; // the button did not come back: a sample is missing
        const Stamp use = enabled - disabled;
        const Stamp reference = referenceWait(use.wallNs);
        cpu.add(use.percent());
        busy.add(reference.percent());
        times.add(ratio(reference, use));
    }
    return {cpu, busy, times};
}

std::vector<Figure> polling(const Options& options, WireTap& tap) {
    const QString window = QStringLiteral("polling %1 s: ").arg(options.quick ? 10 : 60);
    Figure cpu{window + "console CPU", "% core", -inf, 1, false, 3};
    Figure busy{window + "busy-pump reference CPU", "% core"};
    Figure times{window + "reference / console", "x", 100, inf, false, 0};
    Figure gap{"status query: gap between its two frames", "ms", 100, 102, true, 2};
    Figure p99{"status query: gap p99", "ms", -inf, 105, false, 2};
    Figure drift{"polling: |tick n - (tick 0 + 2000 n)|", "ms", -inf, 20, false, 2};
    // Each wait lasts more than its time on a millisecond count, up to 2 ms more: lamp 1 comes
    // 100 ms after the quiet gap, lamp 8 after 100 ms and seven waits of 50 ms.
    Figure quiet{"reply end -> receive notification (quiet gap)", "ms", Gap, Gap + 5, false, 2};
    Figure lamp1{"reply end -> lamp 1 coloured", "ms", Gap + 100, Gap + 110, false, 2};
    Figure lamp8{"reply end -> lamp 8 coloured", "ms", Gap + 450, Gap + 470, false, 2};
    Console console;
    const int windowMs = options.quick ? 10'000 : 60'000;
    const int windows = options.quick ? 1 : options.runs;
    const int ticks = options.quick ? 10 : std::max(100, options.runs * 30 + 10);

    // When lamps 1 and 8 are coloured, and the receive notifications that carried a status reply.
    // Each such notification first gives the lamps a marker colour: colouring a lamp in the colour
    // it already has is no visible change.
    const QColor marker(1, 2, 3);
    bool recording = false;
    std::vector<std::int64_t> notes, lampNs[2];
    QPushButton* lamps[2] = {console.button(QStringLiteral("Command_CPort_0")),
                             console.button(QStringLiteral("Command_CPort_7"))};
    QObject scope; // ends the watches and the connection before the state they use
    for (int i : {0, 1})
        new EventWatch(lamps[i], QEvent::PaletteChange, &scope, [&, i] {
            if (recording && toolkit::faceColor(lamps[i]) != marker)
                lampNs[i].push_back(monotonicNs());
        });
    // Connected after the receive handler, so this runs once the batch has been shown:
    // "设备返回：" and three characters a byte; six bytes are a status reply.
    QObject::connect(&console.window->port(), &SerialPortControl::onComm, &scope, [&] {
        if (recording && (console.window->display().text().size() - 5) / 3 == 6) {
            notes.push_back(monotonicNs());
            for (QPushButton* lamp : lamps)
                toolkit::setFaceColor(lamp, marker);
        }
    });

    tap.clear();
    const std::int64_t start = monotonicNs();
    console.window->statusQuery().Checktest()->setChecked(true);
    const auto until = [start](std::int64_t offsetMs) {
        idle(int(std::max<std::int64_t>(0, (start + offsetMs * MsNs - monotonicNs()) / MsNs)));
    };
    // CPU windows start half a second before a tick, when the last tick's reply and lamps are long
    // over, and span whole periods.
    std::vector<Stamp> used;
    for (int w = 0; w < windows; ++w) {
        until(1500 + std::int64_t(w) * windowMs);
        const Stamp from = Stamp::now();
        until(1500 + std::int64_t(w + 1) * windowMs);
        used.push_back(Stamp::now() - from);
        cpu.add(used.back().percent());
    }
    // The rest of the ticks: when the replies turn into lamps.
    recording = true;
    until(std::int64_t(ticks) * 2000 + 1500);
    recording = false;
    const LineRecord frames = tap.record(WireTap::FromConsole);
    const LineRecord replies = tap.record(WireTap::FromDevice);

    // The reference: the naive wait over the same length of polling.
    const Stamp reference = referenceWait(std::int64_t(windowMs) * MsNs);
    console.window->statusQuery().Checktest()->setChecked(false);
    busy.add(reference.percent());
    for (const Stamp& use : used)
        times.add(ratio(reference, use));

    // Timing on the wire.
    std::vector<std::int64_t> tickNs;
    for (const auto& [first, second] : pairQueries(cutFrames(frames), 500 * MsNs)) {
        gap.add(ms(second - first));
        tickNs.push_back(first);
    }
    if (const auto p = percentile(gap.samples, 99))
        p99.add(*p);
    const std::vector<std::int64_t> deviations = driftOf(tickNs, 2000 * MsNs);
    for (std::size_t n = 1; n < deviations.size(); ++n)
        drift.add(ms(std::abs(deviations[n])));
    std::fprintf(stderr, "vesk-bench: %zu of %d polls seen on the line\n", tickNs.size(), ticks);

    // Reply to lamps: the i-th notification carrying a status reply started the i-th colouring.
    // Bytes that the console's receive side joins into one batch form one reply here too.
    const std::vector<Chunk> bursts = cutBursts(replies, std::int64_t(Gap) * MsNs);
    const std::size_t count = std::min({notes.size(), lampNs[0].size(), lampNs[1].size()});
    for (std::size_t i = 0; i < count; ++i) {
        std::int64_t end = 0; // of the last status reply before the notification
        for (const Chunk& burst : bursts)
            if (burst.lastNs <= notes[i] && burst.bytes.size() == 6)
                end = burst.lastNs;
        if (end) {
            quiet.add(ms(notes[i] - end));
            lamp1.add(ms(lampNs[0][i] - end));
            lamp8.add(ms(lampNs[1][i] - end));
        }
    }
    return {cpu, busy, times, gap, p99, drift, quiet, lamp1, lamp8};
}

std::vector<Figure> channelSwitch(const Options& options, WireTap& tap) {
    Figure gap{"channel switch: frame -> query (500 + 100 ms waits)", "ms", 600, 604, false, 2};
    Console console;
    for (int run = 1; run <= options.runs; ++run) {
        // Channel 3 on and off in turn: from the switch frame to the status query after it.
        QPushButton* button =
            console.button(QStringLiteral("Command_CPort_%1").arg(run % 2 ? 2 : 10));
        console.settle();
        tap.clear();
        button->click();
        console.settle();
        std::int64_t switched = 0;
        for (const Chunk& frame : cutFrames(tap.record(WireTap::FromConsole))) {
            if (frame.bytes.size() == 8 && quint8(frame.bytes.at(3)) == 0x18) {
                switched = frame.firstNs;
            } else if (switched && isStatusQuery(frame.bytes)) {
                gap.add(ms(frame.firstNs - switched));
                break;
            }
        }
    }
    return {gap};
}

std::vector<Figure> startUp(const Options& options, WireTap& tap) {
    Figure firstFrame{"start-up: process start -> first query frame", "ms", -inf, 250};
    Figure painted{"start-up: process start -> window painted", "ms"};
    Figure resident{"start-up: resident memory", "MB", -inf, 45};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (int run = 1; run <= options.runs; ++run) {
        // The real program: from the moment it is started to its first frame on the line.
        tap.clear();
        QProcess panel;
        panel.setProcessEnvironment(env);
        const std::int64_t started = monotonicNs();
        panel.start(options.panelProgram, {});
        if (idle(10'000, [&tap] { return !tap.record(WireTap::FromConsole).bytes.isEmpty(); })) {
            firstFrame.add(ms(tap.record(WireTap::FromConsole).arrivalNs[0] - started));
            idle(1500); // the start-up query, its reply and the lamps are over within a second
            if (const double kb = residentKb(QString::number(panel.processId())); kb > 0)
                resident.add(kb / 1024);
        }
        panel.terminate();
        if (!panel.waitForFinished(5000))
            panel.kill();

        // The window painted: this program in its probe role runs the same start-up.
        QProcess probe;
        probe.setProcessEnvironment(env);
        const std::int64_t probeStarted = monotonicNs();
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-probe")});
        const QByteArray shown = probe.waitForFinished(10'000) ? probe.readAll() : QByteArray();
        if (shown.startsWith("SHOWN "))
            painted.add(ms(shown.mid(6).trimmed().toLongLong() - probeStarted));
        idle(300); // let the simulator finish its replies to the closed console
    }
    return {firstFrame, painted, resident};
}

std::vector<Figure> hour(const Options& options, WireTap& tap) {
    Figure resident{"hour of polling: resident memory at end", "MB", -inf, 45};
    Figure halfGrowth{"hour of polling: growth over the second half", "kB", -inf, 256, false, 0};
    Figure growth{"hour of polling: growth from start-up", "kB", -inf, inf, false, 0};
    Figure heap{"hour of polling: heap in use, second half", "kB", -inf, 64};
    // The tap's record would grow with every poll and count as the console's memory.
    tap.setRecording(false);
    tap.clear();
    Console console;
    idle(500);
    const double rssStart = residentKb(QStringLiteral("self"));
    int ticks = 0;
    QTimer& timer = console.window->statusQuery().Timer2();
    QObject scope;
    QObject::connect(&timer, &QTimer::timeout, &scope, [&ticks] { ++ticks; });
    const int timeoutMs = options.hourPolls * options.hourIntervalMs * 2;
    console.window->statusQuery().Checktest()->setChecked(true);
    timer.setInterval(options.hourIntervalMs); // the polling timer, shortened
    idle(timeoutMs, [&] { return ticks >= options.hourPolls / 2; });
    const double rssHalf = residentKb(QStringLiteral("self"));
    const double heapHalf = heapInUseKb();
    const bool done = idle(timeoutMs, [&] { return ticks >= options.hourPolls; });
    console.window->statusQuery().Checktest()->setChecked(false);
    console.settle();
    idle(200);
    const double rssEnd = residentKb(QStringLiteral("self"));
    if (done && rssStart > 0) {
        heap.add(heapInUseKb() - heapHalf);
        resident.add(rssEnd / 1024);
        halfGrowth.add(rssEnd - rssHalf);
        growth.add(rssEnd - rssStart);
    }
    tap.setRecording(true);
    return {resident, halfGrowth, growth, heap};
}

} // namespace

std::vector<Figure> runBench(const Options& options, WireTap& tap) {
    // The sections in table order: CPU while waiting, timing on the wire and to the lamps,
    // start-up and memory.
    std::vector<Figure> figures;
    for (const auto& [section, measure] :
         {std::pair("hold", &hold), std::pair("poll", &polling),
          std::pair("switch", &channelSwitch), std::pair("startup", &startUp),
          std::pair("hour", &hour)}) {
        if (options.sections.contains(QLatin1String(section))) {
            const std::vector<Figure> measured = measure(options, tap);
            figures.insert(figures.end(), measured.begin(), measured.end());
        }
    }
    return figures;
}

int runStartupProbe() {
    // As the program starts: the window, its start-up sequence, then shown.
    VESK window(BuildProfile::full(&createMultiChannelArea));
    bool shown = false;
    EventWatch firstPaint(&window, QEvent::Paint, nullptr, [&shown] {
        if (!std::exchange(shown, true)) {
            std::printf("SHOWN %lld\n", static_cast<long long>(monotonicNs()));
            QTimer::singleShot(0, [] { requestShutdown(0); });
        }
    });
    window.startUp();
    window.show();
    QTimer::singleShot(5000, [] { requestShutdown(1); });
    return QCoreApplication::exec();
}

} // namespace vesk::bench
