#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <unistd.h>

#include "areas/multichannelarea.h"
#include "bench/bench.h"
#include "core/serialport.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/datadisplay.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

namespace vesk::bench {

namespace {

constexpr std::int64_t MsNs = 1'000'000;
constexpr double Gap = SerialPortControl::QuietGapMs;
constexpr double inf = Unbounded;

constexpr auto ms = [](std::int64_t ns) { return double(ns) / MsNs; };

// Wall time and the console thread's own CPU time at one moment, or between two.
struct Stamp {
    double wallNs = 0, cpuNs = 0;
    static Stamp now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return {double(monotonicNs()), ts.tv_sec * 1e9 + double(ts.tv_nsec)};
    }
    Stamp operator-(const Stamp& from) const { return {wallNs - from.wallNs, cpuNs - from.cpuNs}; }
    double percent() const { return wallNs > 0 ? 100 * cpuNs / wallNs : 0; }
    // How many times more CPU `reference` used; a wait that used none counts as a microsecond.
    double ratio(const Stamp& reference) const { return reference.cpuNs / std::max(cpuNs, 1000.0); }
};

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
Stamp referenceWait(double durationNs) {
    const Stamp start = Stamp::now();
    while (monotonicNs() - start.wallNs <= durationNs)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return Stamp::now() - start;
}

// Resident memory of a process in kilobytes ("self" for this one), -1 when it cannot be read.
double residentKb(const QString& pid) {
    QFile statm("/proc/" + pid + "/statm"); // sizes in pages: all, then resident
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toDouble() * double(getpagesize()) / 1024
               : -1;
}

// Calls `handler` whenever `watched` receives an event of `type`, before the object handles it.
struct EventWatch : QObject {
    EventWatch(QObject* watched, QEvent::Type type, QObject* parent, std::function<void()> handler)
        : QObject(parent), type(type), handler(std::move(handler)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type)
            handler();
        return false;
    }
    const QEvent::Type type;
    const std::function<void()> handler;
};

// The console window of the full program on the tapped line, after its start-up sequence. A
// message box would stop the measurement: the console notes it on stderr instead.
struct Console : MessageSink {
    Console() {
        window->startUp();
        window->show();
        settle();
    }
    ~Console() override { settle(); }
    void show(const Message& m) override {
        std::fprintf(stderr, "vesk-bench: the console showed \"%s\"\n", qPrintable(m.text));
    }
    QPushButton* button(const QString& name) const { return window->findChild<QPushButton*>(name); }
    // Waits until every operation has run to its end and the last reply has been coloured.
    void settle() {
        idle(15'000, [this] { return waits.pending() == 0; });
        idle(50);
    }
    QCheckBox* automatic() const { return window->findChild<QCheckBox*>("Checktest"); }
    Waits waits;
    std::unique_ptr<VESK> window = std::make_unique<VESK>(
        BuildProfile::full(&createMultiChannelArea), waits, WindowSeams{this, {}});
};

void hold(const Options& options, WireTap&, std::vector<Figure>& out) {
    Figure cpu{"hold 9 s: console CPU", "% core", -inf, 1, false, 3};
    Figure busy{"hold 9 s: busy-pump reference CPU", "% core"};
    Figure ratio{"hold 9 s: reference / console", "x", 100, inf, false, 0};
    Console console;
    QPushButton* allOn = console.button(QStringLiteral("Command3_0"));
    for (int run = 1; allOn && run <= options.runs; ++run) {
        console.settle();
        // From the click to the button's enabling at the end of the hold.
        QEventLoop loop;
        Stamp enabled;
        EventWatch watch(allOn, QEvent::EnabledChange, nullptr, [&] {
            if (allOn->isEnabled()) {
                enabled = Stamp::now();
                loop.quit();
            }
        });
        QTimer::singleShot(15'000, &loop, &QEventLoop::quit);
        const Stamp clicked = Stamp::now();
        allOn->click(); // disables the button at once
        loop.exec();
        if (!enabled.wallNs)
            continue; // the button did not come back: a sample is missing
        const Stamp use = enabled - clicked;
        const Stamp reference = referenceWait(use.wallNs);
        cpu.add(use.percent());
        busy.add(reference.percent());
        ratio.add(use.ratio(reference));
    }
    out.insert(out.end(), {cpu, busy, ratio});
}

void polling(const Options& options, WireTap& tap, std::vector<Figure>& out) {
    const QString window = QStringLiteral("polling %1 s: ").arg(options.quick ? 10 : 60);
    Figure cpu{window + "console CPU", "% core", -inf, 1, false, 3};
    Figure busy{window + "busy-pump reference CPU", "% core"};
    Figure ratio{window + "reference / console", "x", 100, inf, false, 0};
    Figure gap{"status query: gap between its two frames", "ms", 100, 102, true, 2};
    Figure p99{"status query: gap p99", "ms", -inf, 105, false, 2};
    Figure drift{"polling: |tick n - (tick 0 + 2000 n)|", "ms", -inf, 20, false, 2};
    // Each wait lasts more than its time on a millisecond count, up to 2 ms more: lamp 1 comes
    // 100 ms after the quiet gap, lamp 8 after 100 ms and seven waits of 50 ms.
    Figure quiet{"reply end -> receive notification (quiet gap)", "ms", Gap, Gap + 5, false, 2};
    Figure lamp1{"reply end -> lamp 1 coloured", "ms", Gap + 100, Gap + 110, false, 2};
    Figure lamp8{"reply end -> lamp 8 coloured", "ms", Gap + 450, Gap + 470, false, 2};
    const int windowMs = options.quick ? 10'000 : 60'000;
    const int ticks = options.quick ? 10 : std::max(100, options.runs * 30 + 10);
    Console console;

    // When lamps 1 and 8 are coloured, and the receive notifications that carried a status reply.
    // Each colouring is followed by a marker colour: colouring a lamp in the colour it already has
    // is no visible change, and the two replies of a tick colour the lamps twice.
    const QColor marker(1, 2, 3);
    bool recording = false;
    std::vector<std::int64_t> notes, lampNs[2];
    QPushButton* lamps[2] = {console.button(QStringLiteral("Command_CPort_0")),
                             console.button(QStringLiteral("Command_CPort_7"))};
    const auto mark = [&](int i) { toolkit::setFaceColor(lamps[i], marker); };
    QObject scope; // ends the watches, connection and pending marks before the state they use
    for (int i : {0, 1})
        new EventWatch(lamps[i], QEvent::PaletteChange, &scope, [&, i] {
            if (recording && toolkit::faceColor(lamps[i]) != marker) {
                lampNs[i].push_back(monotonicNs());
                QTimer::singleShot(0, &scope, [&, i] { mark(i); });
            }
        });
    // Connected after the receive handler, so this runs once the batch has been shown:
    // "设备返回：" and three characters a byte; six bytes are a status reply.
    QObject::connect(&console.window->port(), &SerialPortControl::onComm, &scope, [&] {
        if (recording && (console.window->display().text().size() - 5) / 3 == 6)
            notes.push_back(monotonicNs());
    });

    tap.clear();
    console.automatic()->setChecked(true);
    // CPU windows, one per run, start half a second before a tick, when the last tick's reply and
    // lamps are long over, and span whole periods.
    idle(1500);
    std::vector<Stamp> used;
    for (int w = 0; w < (options.quick ? 1 : options.runs); ++w) {
        const Stamp from = Stamp::now();
        idle(windowMs);
        used.push_back(Stamp::now() - from);
        cpu.add(used.back().percent());
    }
    // The rest of the ticks: when the replies turn into lamps.
    recording = true;
    mark(0);
    mark(1);
    idle(ticks * 2000 - int(used.size()) * windowMs);
    recording = false;
    const LineRecord frames = tap.record(WireTap::FromConsole);
    const LineRecord replies = tap.record(WireTap::FromDevice);
    // The reference: the naive wait over the same length of polling.
    const Stamp reference = referenceWait(windowMs * 1e6);
    console.automatic()->setChecked(false);
    busy.add(reference.percent());
    for (const Stamp& use : used)
        ratio.add(use.ratio(reference));

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

    // Reply to lamps: the i-th notification carrying a status reply started the i-th colouring.
    // Bytes that the console's receive side joins into one batch form one reply here too.
    const std::vector<Chunk> bursts = cutBursts(replies, std::int64_t(Gap) * MsNs);
    for (std::size_t i = 0; i < std::min({notes.size(), lampNs[0].size(), lampNs[1].size()}); ++i) {
        std::int64_t end = 0; // of the last status reply before the notification
        for (const Chunk& burst : bursts)
            end = burst.lastNs <= notes[i] && burst.bytes.size() == 6 ? burst.lastNs : end;
        if (end) {
            quiet.add(ms(notes[i] - end));
            lamp1.add(ms(lampNs[0][i] - end));
            lamp8.add(ms(lampNs[1][i] - end));
        }
    }
    out.insert(out.end(), {cpu, busy, ratio, gap, p99, drift, quiet, lamp1, lamp8});
}

void channelSwitch(const Options& options, WireTap& tap, std::vector<Figure>& out) {
    Figure gap{"channel switch: frame -> query (500 + 100 ms waits)", "ms", 600, 604, false, 2};
    Console console;
    for (int run = 1; run <= options.runs; ++run) {
        // Channel 3 on and off in turn: from the switch frame to the status query after it.
        tap.clear();
        console.button(QStringLiteral("Command_CPort_%1").arg(run % 2 ? 2 : 10))->click();
        console.settle();
        const std::vector<Chunk> sent = cutFrames(tap.record(WireTap::FromConsole));
        if (sent.size() > 1 && quint8(sent[0].bytes.at(3)) == 0x18 && isStatusQuery(sent[1].bytes))
            gap.add(ms(sent[1].firstNs - sent[0].firstNs));
    }
    out.push_back(gap);
}

// Starts `program` on the tapped line as the bench starts the console: from the moment it is
// started to its first frame on the line, and its resident memory once its start-up is over.
void startOnce(const QString& program, WireTap& tap, Figure& firstFrame, Figure& resident) {
    const auto sent = [&tap] { return tap.record(WireTap::FromConsole).arrivalNs; };
    tap.clear();
    QProcess process;
    const std::int64_t started = monotonicNs();
    process.start(program, {});
    if (idle(10'000, [&] { return !sent().empty(); })) {
        firstFrame.add(ms(sent().front() - started));
        idle(1500); // the start-up query, its reply and the lamps are over within a second
        if (const double kb = residentKb(QString::number(process.processId())); kb > 0)
            resident.add(kb / 1024);
    }
    process.kill();
    process.waitForFinished(5000);
    idle(300); // let the simulator finish its replies to the closed port
}

void startUp(const Options& options, WireTap& tap, std::vector<Figure>& out) {
    Figure bareFrame{"start-up: bare Qt, process start -> first frame", "ms", -inf, inf, true};
    Figure firstFrame{"start-up: process start -> first query frame", "ms", -inf, 250};
    Figure ratio{"start-up: console / bare Qt, medians", "x", -inf, 1.1, false, 2};
    Figure painted{"start-up: process start -> window painted", "ms"};
    Figure bareResident{"start-up: bare Qt, resident memory", "MB", -inf, inf, true};
    Figure resident{"start-up: resident memory", "MB", -inf, 45};
    Figure extra{"start-up: console - bare Qt memory, medians", "MB", -inf, 8};
    // Several runs of each, taking turns, so that a busy moment of the machine falls on both.
    for (int run = 1; run <= std::max(5, 3 * options.runs); ++run) {
        for (const bool console : {run % 2 == 1, run % 2 == 0}) {
            if (console)
                startOnce(QStringLiteral(VESK_BENCH_PANEL), tap, firstFrame, resident);
            else
                startOnce(QStringLiteral(VESK_BENCH_BARE), tap, bareFrame, bareResident);
        }

        // The window painted: this program in its probe role runs the same start-up.
        QProcess probe;
        const std::int64_t probeStarted = monotonicNs();
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-probe")});
        const QByteArray shown = probe.waitForFinished(10'000) ? probe.readAll() : QByteArray();
        if (shown.startsWith("SHOWN "))
            painted.add(ms(shown.mid(6).trimmed().toLongLong() - probeStarted));
        idle(300);
    }
    const auto median = [](const Figure& f) { return percentile(f.samples, 50); };
    if (median(firstFrame) && median(bareFrame))
        ratio.add(*median(firstFrame) / *median(bareFrame));
    if (median(resident) && median(bareResident))
        extra.add(*median(resident) - *median(bareResident));
    out.insert(out.end(), {bareFrame, firstFrame, ratio, painted, bareResident, resident, extra});
}

void hour(const Options& options, WireTap& tap, std::vector<Figure>& out) {
    Figure resident{"hour of polling: resident memory at end", "MB", -inf, 45};
    Figure halfGrowth{"hour of polling: growth over the second half", "kB", -inf, 256, false, 0};
    Figure growth{"hour of polling: growth from start-up", "kB", -inf, inf, false, 0};
    // Bytes handed out and not back: a leak shows here where page reuse hides it from the RSS.
    Figure heap{"hour of polling: heap in use, second half", "kB", -inf, 64};
    const auto heapKb = [] { return double(mallinfo2().uordblks + mallinfo2().hblkhd) / 1024; };
    // The tap's record would grow with every poll and count as the console's memory.
    tap.recording = false;
    tap.clear();
    Console console;
    idle(500);
    const double rssStart = residentKb(QStringLiteral("self"));
    int ticks = 0;
    QTimer& timer = console.window->statusQuery().Timer2();
    QObject scope;
    QObject::connect(&timer, &QTimer::timeout, &scope, [&ticks] { ++ticks; });
    const int timeoutMs = options.hourPolls * options.hourIntervalMs * 2;
    console.automatic()->setChecked(true);
    timer.setInterval(options.hourIntervalMs); // the polling timer, shortened
    idle(timeoutMs, [&] { return ticks >= options.hourPolls / 2; });
    const double rssHalf = residentKb(QStringLiteral("self"));
    const double heapHalf = heapKb();
    const bool done = idle(timeoutMs, [&] { return ticks >= options.hourPolls; });
    console.automatic()->setChecked(false);
    console.settle();
    idle(200);
    const double rssEnd = residentKb(QStringLiteral("self"));
    if (done && rssStart > 0) {
        heap.add(heapKb() - heapHalf);
        resident.add(rssEnd / 1024);
        halfGrowth.add(rssEnd - rssHalf);
        growth.add(rssEnd - rssStart);
    }
    tap.recording = true;
    out.insert(out.end(), {resident, halfGrowth, growth, heap});
}

} // namespace

std::vector<Figure> runBench(const Options& options, WireTap& tap) {
    // In table order: CPU while waiting, timing on the wire and to the lamps, start-up, memory.
    std::vector<Figure> figures;
    for (const auto& [section, measure] :
         {std::pair("hold", &hold), std::pair("poll", &polling),
          std::pair("switch", &channelSwitch), std::pair("startup", &startUp),
          std::pair("hour", &hour)})
        if (options.sections.contains(QLatin1String(section)))
            measure(options, tap, figures);
    return figures;
}

int runStartupProbe() {
    Waits waits;
    VESK window(BuildProfile::full(&createMultiChannelArea), waits);
    bool shown = false;
    EventWatch firstPaint(&window, QEvent::Paint, nullptr, [&shown, &waits] {
        if (!std::exchange(shown, true)) {
            std::printf("SHOWN %lld\n", static_cast<long long>(monotonicNs()));
            QTimer::singleShot(0, [&waits] { waits.close(0); });
        }
    });
    window.startUp();
    window.show();
    QTimer::singleShot(5000, [&waits] { waits.close(1); });
    return QCoreApplication::exec();
}

} // namespace vesk::bench
