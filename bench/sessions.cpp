#include "sessions.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <time.h>

#include "areas/multichannelarea.h"
#include "bench/wire.h"
#include "bench/wiretap.h"
#include "core/serialport.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/datadisplay.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

namespace vesk::bench {

namespace {

constexpr std::int64_t MsNs = 1'000'000;

double ms(std::int64_t ns) {
    return double(ns) / MsNs;
}

std::int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Wall and CPU time of the console thread at one moment.
struct Stamp {
    std::int64_t wallNs = 0;
    std::int64_t cpuNs = 0;
    static Stamp now() { return {monotonicNs(), threadCpuNs()}; }
};

struct CpuUse {
    std::int64_t wallNs = 0;
    std::int64_t cpuNs = 0;
    double percentOfCore() const { return wallNs > 0 ? 100.0 * double(cpuNs) / double(wallNs) : 0; }
};

CpuUse between(const Stamp& from, const Stamp& to) {
    return {to.wallNs - from.wallNs, to.cpuNs - from.cpuNs};
}

// How many times more CPU the reference wait used; the console's CPU is floored at one
// microsecond so that a wait that used none still gives a finite ratio.
double ratio(const CpuUse& reference, const CpuUse& console) {
    return double(reference.cpuNs) / double(std::max<std::int64_t>(console.cpuNs, 1000));
}

void progress(const QString& text) {
    std::fprintf(stderr, "vesk-bench: %s\n", qPrintable(text));
}

// Lets the event loop run for `ms` and sleeps between events: the way a program that has nothing
// to do waits.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` or `timeoutMs`, looking every 5 ms. Not for CPU windows.
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(5);
    loop.exec();
    return done();
}

// The naive way to write the wait: pump events in a loop until the time is up. Runs on the
// console thread, so the console's own events (replies, timer ticks) are handled meanwhile.
CpuUse referenceWait(std::int64_t durationNs) {
    const Stamp start = Stamp::now();
    const std::int64_t end = start.wallNs + durationNs;
    while (monotonicNs() <= end)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return between(start, Stamp::now());
}

// Resident memory of a process in kilobytes ("self" for this one).
double residentKb(const QString& pid) {
    // /proc files report no size, so read them whole rather than line by line to an end.
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return -1;
}

// Bytes the allocator has handed out and not had back, in kilobytes.
double heapInUseKb() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1024;
}

// The console window of the full program, on the tapped line, after its start-up sequence.
// A message box would stop the measurement; note it instead.
struct SaidMessages : MessageSink {
    void show(const Message& m) override {
        std::fprintf(stderr, "vesk-bench: the console showed \"%s\"\n", qPrintable(m.text));
    }
};

class Console {
public:
    Console() {
        WindowSeams seams;
        seams.messages = &m_said;
        m_window =
            std::make_unique<VESK>(BuildProfile::full(&createMultiChannelArea), m_waits, seams);
        m_window->startUp();
        m_window->show();
        settle();
    }
    ~Console() {
        settle();
        m_window.reset();
    }
    VESK& window() { return *m_window; }
    QPushButton* button(const QString& name) const {
        return m_window->findChild<QPushButton*>(name);
    }
    // Waits until every operation has run to its end and the last reply has been coloured.
    bool settle() {
        const bool done = waitFor([this] { return m_waits.pending() == 0; }, 15'000);
        idle(50);
        return done;
    }
    QCheckBox* automatic() const { return m_window->findChild<QCheckBox*>("Checktest"); }
    QTimer& timer2() {
        // Timer2 belongs to the status query; the bench only shortens its interval.
        return m_window->statusQuery().Timer2();
    }

private:
    Waits m_waits;
    SaidMessages m_said;
    std::unique_ptr<VESK> m_window;
};

// Notes when each lamp is coloured and, while recording, puts a marker colour back afterwards:
// colouring a lamp in the colour it already has is no visible change, so without the marker only
// the first reply of a steady state would show.
class LampProbe : public QObject {
public:
    explicit LampProbe(VESK& window) {
        for (int k = 0; k < 8; ++k) {
            m_lamps[std::size_t(k)] =
                window.findChild<QPushButton*>(QStringLiteral("Command_CPort_%1").arg(k));
            if (m_lamps[std::size_t(k)])
                m_lamps[std::size_t(k)]->installEventFilter(this);
        }
        // Connected after the receive handler, so this runs once the batch has been shown.
        connect(&window.port(), &SerialPortControl::onComm, this, [this, &window] {
            if (!m_recording)
                return;
            const std::int64_t at = monotonicNs();
            const QString text = window.display().text();
            const qsizetype bytes = (text.size() - ReplyPrefixLength) / 3;
            if (bytes == 6)
                m_decoded.push_back(at);
        });
    }
    void setRecording(bool on) {
        m_recording = on;
        if (on)
            for (int k = 0; k < 8; ++k)
                mark(k);
    }
    // Receive notifications that carried a status reply, and the colourings of lamps 1 and 8.
    const std::vector<std::int64_t>& decoded() const { return m_decoded; }
    const std::vector<std::int64_t>& lamp(int k) const { return m_times[std::size_t(k)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::PaletteChange || !m_recording || m_marking)
            return false;
        for (int k = 0; k < 8; ++k) {
            if (watched == m_lamps[std::size_t(k)]) {
                m_times[std::size_t(k)].push_back(monotonicNs());
                QTimer::singleShot(0, this, [this, k] { mark(k); });
            }
        }
        return false;
    }

private:
    static constexpr qsizetype ReplyPrefixLength = 5; // "设备返回："

    void mark(int k) {
        if (!m_recording || !m_lamps[std::size_t(k)])
            return;
        m_marking = true;
        toolkit::setFaceColor(m_lamps[std::size_t(k)], QColor(1, 2, 3));
        m_marking = false;
    }

    std::array<QPointer<QPushButton>, 8> m_lamps;
    std::array<std::vector<std::int64_t>, 8> m_times;
    std::vector<std::int64_t> m_decoded;
    bool m_recording = false;
    bool m_marking = false;
};

// Wall and CPU time at the moments a button is disabled and enabled again.
class HoldProbe : public QObject {
public:
    HoldProbe(QPushButton* button, QEventLoop& loop) : m_button(button), m_loop(loop) {
        button->installEventFilter(this);
    }
    ~HoldProbe() override {
        if (m_button)
            m_button->removeEventFilter(this);
    }
    Stamp disabledAt;
    Stamp enabledAt;
    bool complete = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_button && event->type() == QEvent::EnabledChange) {
            if (!m_button->isEnabled()) {
                disabledAt = Stamp::now();
            } else if (disabledAt.wallNs) {
                enabledAt = Stamp::now();
                complete = true;
                m_loop.quit();
            }
        }
        return false;
    }

private:
    QPointer<QPushButton> m_button;
    QEventLoop& m_loop;
};

} // namespace

SimulatorProcess::~SimulatorProcess() {
    if (m_process.state() == QProcess::Running) {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool SimulatorProcess::start(const QString& program, QString* error) {
    m_process.setProgram(program);
    m_process.setArguments({QStringLiteral("--quiet")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start %1").arg(program);
        return false;
    }
    const QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(100);
    const QString first = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!first.startsWith(QLatin1String("PTY "))) {
        *error = QStringLiteral("%1 did not report its terminal").arg(program);
        return false;
    }
    m_pty = first.mid(4);
    return true;
}

Figure& Bench::figure(const QString& name) {
    for (Figure& f : m_figures)
        if (f.name() == name)
            return f;
    qFatal("vesk-bench: no figure '%s'", qPrintable(name));
}

std::vector<Figure> Bench::run() {
    using J = Figure::Judge;
    const auto wants = [this](const char* section) {
        return m_options.sections.count(QString::fromLatin1(section)) > 0;
    };
    // The table, in the order of the figures' topics: CPU while waiting, timing on the wire,
    // reply to lamps, start-up and memory.
    if (wants("hold")) {
        m_figures.emplace_back("hold 9 s: console CPU", "% core", Goal::atMost(1.0), J::Worst, 3);
        m_figures.emplace_back("hold 9 s: busy-pump reference CPU", "% core", Goal::none());
        m_figures.emplace_back("hold 9 s: reference / console", "x", Goal::atLeast(100), J::Worst,
                               0);
    }
    if (wants("poll")) {
        const QString window = QString::number(m_options.cpuWindowMs() / 1000);
        m_figures.emplace_back("polling " + window + " s: console CPU", "% core", Goal::atMost(1.0),
                               J::Worst, 3);
        m_figures.emplace_back("polling " + window + " s: busy-pump reference CPU", "% core",
                               Goal::none());
        m_figures.emplace_back("polling " + window + " s: reference / console", "x",
                               Goal::atLeast(100), J::Worst, 0);
        m_figures.emplace_back("status query: gap between its two frames", "ms",
                               Goal::between(100, 102), J::Median, 2);
        m_figures.emplace_back("status query: gap p99", "ms", Goal::atMost(105), J::Worst, 2);
        m_figures.emplace_back("polling: |tick n - (tick 0 + 2000 n)|", "ms", Goal::atMost(20),
                               J::Worst, 2);
    }
    if (wants("switch"))
        m_figures.emplace_back("channel switch: frame -> query (500 + 100 ms waits)", "ms",
                               Goal::between(600, 604), J::Worst, 2);
    if (wants("poll")) {
        m_figures.emplace_back(
            "reply end -> receive notification (quiet gap)", "ms",
            Goal::between(SerialPortControl::QuietGapMs, SerialPortControl::QuietGapMs + 5),
            J::Worst, 2);
        m_figures.emplace_back(
            "reply end -> lamp 1 coloured", "ms",
            Goal::between(100 + SerialPortControl::QuietGapMs, 110 + SerialPortControl::QuietGapMs),
            J::Worst, 2);
        m_figures.emplace_back(
            // 100 ms, then seven 50 ms waits after the quiet gap; each of the eight waits lasts
            // more than its time on a millisecond count, so up to 2 ms more each.
            "reply end -> lamp 8 coloured", "ms",
            Goal::between(450 + SerialPortControl::QuietGapMs, 470 + SerialPortControl::QuietGapMs),
            J::Worst, 2);
    }
    if (wants("startup")) {
        m_figures.emplace_back("start-up: process start -> first query frame", "ms",
                               Goal::atMost(250), J::Worst, 1);
        m_figures.emplace_back("start-up: process start -> window painted", "ms", Goal::none(),
                               J::Worst, 1);
        m_figures.emplace_back("start-up: resident memory", "MB", Goal::atMost(45), J::Worst, 1);
    }
    if (wants("hour")) {
        m_figures.emplace_back("hour of polling: resident memory at end", "MB", Goal::atMost(45),
                               J::Worst, 1);
        m_figures.emplace_back("hour of polling: growth over the second half", "kB",
                               Goal::atMost(256), J::Worst, 0);
        m_figures.emplace_back("hour of polling: growth from start-up", "kB", Goal::none(),
                               J::Worst, 0);
        // Bytes allocated and not freed: a leak shows here even where the allocator's page
        // reuse hides it from the resident size.
        m_figures.emplace_back("hour of polling: heap in use, second half", "kB", Goal::atMost(64),
                               J::Worst, 1);
    }

    if (wants("startup"))
        startUp();
    if (wants("hold"))
        hold();
    if (wants("poll"))
        polling();
    if (wants("switch"))
        channelSwitch();
    if (wants("hour"))
        hour();
    return m_figures;
}

void Bench::startUp() {
    for (int run = 1; run <= m_options.runs; ++run) {
        // The real program: from the moment it is started to its first frame on the line.
        m_tap.clear();
        QProcess panel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        panel.setProcessEnvironment(env);
        panel.setProcessChannelMode(QProcess::ForwardedChannels);
        const std::int64_t started = monotonicNs();
        panel.start(m_options.panelProgram, {});
        if (!panel.waitForStarted(5000)) {
            progress(QStringLiteral("cannot start %1").arg(m_options.panelProgram));
            return;
        }
        if (waitFor([this] { return !m_tap.fromConsole().bytes.isEmpty(); }, 10'000)) {
            const double firstFrame = ms(m_tap.fromConsole().arrivalNs.front() - started);
            figure(QStringLiteral("start-up: process start -> first query frame")).add(firstFrame);
            // The start-up query, its reply and the lamps are over well within a second.
            idle(1500);
            const double rss = residentKb(QString::number(panel.processId())) / 1024;
            if (rss > 0)
                figure(QStringLiteral("start-up: resident memory")).add(rss);
            progress(QStringLiteral("start-up run %1: first frame after %2 ms, %3 MB resident")
                         .arg(run)
                         .arg(firstFrame, 0, 'f', 1)
                         .arg(rss, 0, 'f', 1));
        }
        panel.terminate();
        if (!panel.waitForFinished(5000))
            panel.kill();

        // The window shown: this program in its probe role runs the same start-up and notes the
        // first paint of the window.
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.setProcessChannelMode(QProcess::SeparateChannels);
        const std::int64_t probeStarted = monotonicNs();
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-probe")});
        if (probe.waitForStarted(5000) && probe.waitForFinished(10'000)) {
            const QList<QByteArray> lines = probe.readAllStandardOutput().split('\n');
            QStringList phases;
            for (const QByteArray& line : lines) {
                const QList<QByteArray> words = line.split(' ');
                if (words.size() == 3 && words[0] == "PHASE")
                    phases << QStringLiteral("%1 %2")
                                  .arg(QString::fromLatin1(words[1]))
                                  .arg(ms(words[2].toLongLong() - probeStarted), 0, 'f', 1);

                if (line.startsWith("SHOWN ")) {
                    const double shown = ms(line.mid(6).toLongLong() - probeStarted);
                    figure(QStringLiteral("start-up: process start -> window painted")).add(shown);
                    progress(QStringLiteral("start-up run %1: window painted after %2 ms (%3)")
                                 .arg(run)
                                 .arg(shown, 0, 'f', 1)
                                 .arg(phases.join(QStringLiteral(", "))));
                }
            }
        } else {
            probe.kill();
            probe.waitForFinished(1000);
        }
        idle(300); // let the simulator finish its replies to the closed console
    }
}

void Bench::hold() {
    Console console;
    QPushButton* allOn = console.button(QStringLiteral("Command3_0"));
    if (!allOn)
        return;
    for (int run = 1; run <= m_options.runs; ++run) {
        console.settle();
        QEventLoop loop;
        HoldProbe probe(allOn, loop);
        QTimer::singleShot(0, allOn, &QPushButton::click);
        QTimer::singleShot(15'000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!probe.complete) {
            progress(QStringLiteral("hold run %1: the button did not come back").arg(run));
            continue;
        }
        const CpuUse consoleUse = between(probe.disabledAt, probe.enabledAt);
        const CpuUse reference = referenceWait(consoleUse.wallNs);
        figure(QStringLiteral("hold 9 s: console CPU")).add(consoleUse.percentOfCore());
        figure(QStringLiteral("hold 9 s: busy-pump reference CPU")).add(reference.percentOfCore());
        figure(QStringLiteral("hold 9 s: reference / console")).add(ratio(reference, consoleUse));
        progress(QStringLiteral("hold run %1: %2 ms held, console %3 ms CPU, reference %4 ms CPU")
                     .arg(run)
                     .arg(ms(consoleUse.wallNs), 0, 'f', 1)
                     .arg(ms(consoleUse.cpuNs), 0, 'f', 3)
                     .arg(ms(reference.cpuNs), 0, 'f', 1));
    }
}

void Bench::polling() {
    Console console;
    LampProbe lamps(console.window());
    QCheckBox* automatic = console.automatic();
    const int ticks = m_options.pollTicks();
    const int windowMs = m_options.cpuWindowMs();
    progress(QStringLiteral("event dispatcher: %1")
                 .arg(QString::fromLatin1(
                     QAbstractEventDispatcher::instance()->metaObject()->className())));
    progress(QStringLiteral("polling: %1 ticks (%2 s), then a %3 s reference wait")
                 .arg(ticks)
                 .arg(ticks * 2)
                 .arg(windowMs / 1000));

    m_tap.clear();
    const std::int64_t start = monotonicNs();
    automatic->setChecked(true);
    // Windows start half a second before a tick, when the previous tick's reply and lamps are
    // long over, and span whole periods.
    const auto at = [start](std::int64_t offsetMs) {
        idle(int(std::max<std::int64_t>(0, (start + offsetMs * MsNs - monotonicNs()) / MsNs)));
    };
    std::int64_t offset = 1500;
    std::vector<CpuUse> windowCpu;
    for (int w = 0; w < m_options.cpuWindows(); ++w) {
        at(offset);
        const Stamp from = Stamp::now();
        at(offset + windowMs);
        const CpuUse use = between(from, Stamp::now());
        figure("polling " + QString::number(windowMs / 1000) + " s: console CPU")
            .add(use.percentOfCore());
        windowCpu.push_back(use);
        progress(QStringLiteral("polling window %1: console %2 ms CPU in %3 ms")
                     .arg(w + 1)
                     .arg(ms(use.cpuNs), 0, 'f', 2)
                     .arg(ms(use.wallNs), 0, 'f', 0));
        offset += windowMs;
    }

    // The rest of the ticks: when the replies turn into lamps.
    lamps.setRecording(true);
    at(std::int64_t(ticks) * 2000 + 1500);
    lamps.setRecording(false);

    const WireTap::Record sent = m_tap.fromConsole();
    const WireTap::Record replies = m_tap.fromDevice();

    // The reference: the naive wait over the same length of polling.
    const CpuUse reference = referenceWait(std::int64_t(windowMs) * MsNs);
    automatic->setChecked(false);
    const QString prefix = "polling " + QString::number(windowMs / 1000) + " s: ";
    figure(prefix + "busy-pump reference CPU").add(reference.percentOfCore());
    for (const CpuUse& use : windowCpu)
        figure(prefix + "reference / console").add(ratio(reference, use));
    progress(QStringLiteral("polling reference: %1 ms CPU in %2 ms")
                 .arg(ms(reference.cpuNs), 0, 'f', 1)
                 .arg(ms(reference.wallNs), 0, 'f', 0));

    // Timing on the wire.
    const std::vector<QueryPair> pairs =
        pairQueries(cutFrames(sent.bytes, sent.arrivalNs), 500 * MsNs);
    std::vector<double> gaps;
    std::vector<std::int64_t> tickTimes;
    for (const QueryPair& pair : pairs) {
        gaps.push_back(ms(pair.secondNs - pair.firstNs));
        tickTimes.push_back(pair.firstNs);
    }
    figure(QStringLiteral("status query: gap between its two frames")).add(gaps);
    {
        std::vector<double> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        QStringList spread;
        for (double p : {1.0, 10.0, 50.0, 90.0, 99.0, 100.0})
            if (const auto v = percentile(sorted, p))
                spread << QStringLiteral("p%1 %2").arg(p).arg(*v, 0, 'f', 2);
        QStringList slow;
        for (std::size_t i = 0; i < gaps.size(); ++i)
            if (gaps[i] > 103)
                slow << QStringLiteral("tick %1: %2").arg(i).arg(gaps[i], 0, 'f', 2);
        progress(QStringLiteral("status query gaps: %1%2")
                     .arg(spread.join(QStringLiteral(", ")),
                          slow.isEmpty() ? QString()
                                         : QStringLiteral("; over 103 ms: ") +
                                               slow.join(QStringLiteral(", "))));
    }
    if (const auto p99 = percentile(gaps, 99))
        figure(QStringLiteral("status query: gap p99")).add(*p99);
    Figure& drift = figure(QStringLiteral("polling: |tick n - (tick 0 + 2000 n)|"));
    const std::vector<std::int64_t> deviations = driftOf(tickTimes, 2000 * MsNs);
    for (std::size_t n = 1; n < deviations.size(); ++n)
        drift.add(ms(std::abs(deviations[n])));
    progress(QStringLiteral("polling: %1 ticks seen on the line (%2 expected)")
                 .arg(pairs.size())
                 .arg(ticks));

    // Reply to lamps: the i-th notification carrying a status reply started the i-th colouring.
    // Bytes the console's receive side joins into one batch form one reply here too.
    const std::vector<Burst> bursts =
        cutBursts(replies.bytes, replies.arrivalNs, SerialPortControl::QuietGapMs * MsNs);
    const std::vector<std::int64_t>& notes = lamps.decoded();
    const std::size_t count = std::min({notes.size(), lamps.lamp(0).size(), lamps.lamp(7).size()});
    if (count != notes.size() || count != lamps.lamp(0).size() || count != lamps.lamp(7).size())
        progress(QStringLiteral("polling: %1 status replies, %2 first and %3 last lamps")
                     .arg(notes.size())
                     .arg(lamps.lamp(0).size())
                     .arg(lamps.lamp(7).size()));
    for (std::size_t i = 0; i < count; ++i) {
        // The reply is the last burst that ended before its notification.
        std::int64_t replyEnd = 0;
        for (const Burst& burst : bursts)
            if (burst.lastNs <= notes[i] && burst.bytes.size() == 6)
                replyEnd = burst.lastNs;
        if (!replyEnd)
            continue;
        figure(QStringLiteral("reply end -> receive notification (quiet gap)"))
            .add(ms(notes[i] - replyEnd));
        figure(QStringLiteral("reply end -> lamp 1 coloured")).add(ms(lamps.lamp(0)[i] - replyEnd));
        figure(QStringLiteral("reply end -> lamp 8 coloured")).add(ms(lamps.lamp(7)[i] - replyEnd));
    }
}

void Bench::channelSwitch() {
    Console console;
    for (int run = 1; run <= m_options.runs; ++run) {
        // Alternately channel 3 on and off.
        QPushButton* button =
            console.button(QStringLiteral("Command_CPort_%1").arg(run % 2 ? 2 : 10));
        if (!button)
            return;
        console.settle();
        m_tap.clear();
        button->click();
        console.settle();
        const WireTap::Record sent = m_tap.fromConsole();
        const std::vector<Frame> frames = cutFrames(sent.bytes, sent.arrivalNs);
        std::int64_t switched = 0;
        for (const Frame& frame : frames) {
            if (frame.bytes.size() == 8 && quint8(frame.bytes.at(3)) == 0x18) {
                switched = frame.firstNs;
            } else if (switched && isStatusQuery(frame.bytes)) {
                const double gap = ms(frame.firstNs - switched);
                figure(QStringLiteral("channel switch: frame -> query (500 + 100 ms waits)"))
                    .add(gap);
                QStringList seen;
                for (const Frame& f : frames)
                    seen << QStringLiteral("%1 at %2")
                                .arg(QString::fromLatin1(f.bytes.toHex(' ')))
                                .arg(ms(f.firstNs - frames.front().firstNs), 0, 'f', 1);
                progress(QStringLiteral("switch run %1: %2 ms (%3)")
                             .arg(run)
                             .arg(gap, 0, 'f', 2)
                             .arg(seen.join(QStringLiteral(", "))));
                break;
            }
        }
    }
}

void Bench::hour() {
    // The tap's record would grow with every poll and count as the console's memory.
    m_tap.setRecording(false);
    m_tap.clear();
    Console console;
    idle(500);
    const double atStart = residentKb(QStringLiteral("self"));
    const double heapAtStart = heapInUseKb();
    const int polls = m_options.hourPolls();
    progress(QStringLiteral("hour of polling: %1 polls every %2 ms")
                 .arg(polls)
                 .arg(m_options.hourIntervalMs()));

    int ticks = 0;
    double atHalf = 0;
    QTimer& timer2 = console.timer2();
    const QMetaObject::Connection counting =
        QObject::connect(&timer2, &QTimer::timeout, [&] { ++ticks; });
    console.automatic()->setChecked(true);
    timer2.setInterval(m_options.hourIntervalMs());
    waitFor([&] { return ticks >= polls / 2; }, polls * m_options.hourIntervalMs() * 2);
    atHalf = residentKb(QStringLiteral("self"));
    const double heapAtHalf = heapInUseKb();
    waitFor([&] { return ticks >= polls; }, polls * m_options.hourIntervalMs() * 2);
    console.automatic()->setChecked(false);
    QObject::disconnect(counting);
    console.settle();
    idle(200);
    const double atEnd = residentKb(QStringLiteral("self"));
    const double heapAtEnd = heapInUseKb();
    progress(QStringLiteral("hour of polling: %1 polls; resident %2 / %3 / %4 kB")
                 .arg(ticks)
                 .arg(atStart)
                 .arg(atHalf)
                 .arg(atEnd));
    progress(QStringLiteral("hour of polling: heap in use %1 / %2 / %3 kB")
                 .arg(heapAtStart, 0, 'f', 0)
                 .arg(heapAtHalf, 0, 'f', 0)
                 .arg(heapAtEnd, 0, 'f', 0));
    m_tap.setRecording(true);
    if (ticks < polls || atStart <= 0)
        return;
    figure(QStringLiteral("hour of polling: resident memory at end")).add(atEnd / 1024);
    figure(QStringLiteral("hour of polling: growth over the second half")).add(atEnd - atHalf);
    figure(QStringLiteral("hour of polling: growth from start-up")).add(atEnd - atStart);
    figure(QStringLiteral("hour of polling: heap in use, second half")).add(heapAtEnd - heapAtHalf);
}

int runStartupProbe(QApplication& app, std::int64_t mainEnteredNs, std::int64_t appReadyNs) {
    const auto phase = [](const char* name, std::int64_t at) {
        std::printf("PHASE %s %lld\n", name, static_cast<long long>(at));
    };
    phase("main", mainEnteredNs);
    phase("application", appReadyNs);
    // As the program starts: the window, its start-up sequence, then shown.
    Waits waits;
    VESK window(BuildProfile::full(&createMultiChannelArea), waits);
    phase("window", monotonicNs());
    struct FirstPaint : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                std::printf("SHOWN %lld\n", static_cast<long long>(monotonicNs()));
                std::fflush(stdout);
                QTimer::singleShot(0, [this] { waits.close(0); });
            }
            return false;
        }
        explicit FirstPaint(Waits& w) : waits(w) {}
        Waits& waits;
        bool seen = false;
    } firstPaint(waits);
    window.installEventFilter(&firstPaint);
    window.startUp();
    phase("sequence", monotonicNs());
    if (waits.closing())
        return 0;
    window.show();
    QTimer::singleShot(5000, [&waits] { waits.close(1); });
    return app.exec();
}

} // namespace vesk::bench
