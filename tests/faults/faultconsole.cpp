// vesk-faultconsole: the console window (full, or --classic) as a process of its own on the ports
// named by VESKPANEL_COMn, driven by lines on stdin: "click NAME", "stats", "resetgap",
// "random N SEED", "settle" (polling off, then every operation ended), "close". It answers READY,
// ACK <command>, STATS gap=<ms> rss=<kB> lamps=<8 x 0/1> ports=<4 x 0/1> written=<n> pending=<n> (1
// = red), RANDOM-DONE, SETTLED, MSG <text> (with --record-messages), BOX <text> (a real dialogue
// opened) and EXIT pending=<n>.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/application.h"
#include "areas/multichannelarea.h"
#include "core/devicelink.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

using namespace vesk;

namespace {

void say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

long rssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Milliseconds this thread has spent runnable but waiting for a CPU (the scheduler's statistics),
// or 0 where the system does not keep them.
qint64 runQueueWaitMs() {
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    return stat.readAll().split(' ').value(1).toLongLong() / 1000000;
}

// The largest gap between ticks of a 10 ms timer, and each real dialogue announced once. Time the
// thread was ready but had no CPU (another process ran on a loaded machine) is not the console's
// stall and is left out; time spent working or blocked in a call counts.
struct StallMonitor : QObject {
    StallMonitor() {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.elapsed();
            const qint64 waited = runQueueWaitMs();
            maxGap = std::max(maxGap, (now - last) - (waited - lastWaited));
            last = now;
            lastWaited = waited;
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != announced) {
                announced = modal;
                const auto* box = qobject_cast<QMessageBox*>(modal);
                say(QStringLiteral("BOX ") + (box ? box->text() : QString()));
            }
        });
        clock.start();
        timer.start(10);
    }
    void reset() {
        maxGap = 0;
        last = clock.elapsed();
        lastWaited = runQueueWaitMs();
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, lastWaited = 0, maxGap = 0;
    QPointer<QWidget> announced;
};

// Random actions on the visible, enabled controls.
class RandomOperator : public QObject {
public:
    RandomOperator(VESK& window, quint32 seed) : m_window(window), m_random(seed) {}

    void run(int count) {
        m_left = count;
        step();
    }

private:
    template <typename T> QList<T*> reachable() const {
        QList<T*> out;
        for (T* w : m_window.findChildren<T*>())
            if (w->isVisible() && w->isEnabled())
                out << w;
        return out;
    }

    QString randomText() {
        static const QStringList pieces = {"0", "7", "42", "9",  "-",     "+",           "e",
                                           ".", " ", "x",  "１", "65279", "99999999999", "E5"};
        QString text;
        const int n = int(m_random.bounded(5));
        for (int i = 0; i < n; ++i)
            text += pieces[int(m_random.bounded(pieces.size()))];
        return text;
    }

    void act() {
        const quint32 kind = m_random.bounded(100);
        if (kind < 50) {
            const auto buttons = reachable<QAbstractButton>();
            if (!buttons.isEmpty())
                buttons[int(m_random.bounded(buttons.size()))]->click();
        } else if (const auto boxes = reachable<QLineEdit>(); kind < 70 && !boxes.isEmpty()) {
            QLineEdit* box = boxes[int(m_random.bounded(boxes.size()))];
            if (m_random.bounded(2))
                box->clear();
            box->insert(randomText());
        } else if (const auto lists = reachable<QComboBox>(); kind < 80 && !lists.isEmpty()) {
            QComboBox* list = lists[int(m_random.bounded(lists.size()))];
            if (list->count() == 0)
                return;
            const int index = int(m_random.bounded(list->count()));
            list->setCurrentIndex(index);
            emit list->activated(index);
        } else {
            // Series, port (COM3/COM4 are missing, one pick in four) or polling.
            const quint32 pick = m_random.bounded(8);
            const QString name = kind < 88 ? QStringLiteral("Option1_%1").arg(pick % 2)
                                 : kind < 95
                                     ? QStringLiteral("COM_%1").arg(pick < 6 ? pick % 2 : pick - 4)
                                     : QStringLiteral("Checktest");
            if (auto* button = m_window.findChild<QAbstractButton*>(name))
                button->click();
        }
    }

    void step() {
        if (m_window.waits().closing())
            return;
        if (m_left <= 0) {
            say(QStringLiteral("RANDOM-DONE"));
            return;
        }
        --m_left;
        act();
        QTimer::singleShot(int(m_random.bounded(3)), this, [this] { step(); });
    }

    VESK& m_window;
    QRandomGenerator m_random;
    int m_left = 0;
};

class Driver : public QObject {
public:
    Driver(VESK& window, StallMonitor& monitor)
        : m_window(window), m_monitor(monitor), m_stdin(STDIN_FILENO, QSocketNotifier::Read) {
        connect(&m_stdin, &QSocketNotifier::activated, this, &Driver::readInput);
        connect(window.findChild<DeviceLink*>(), &DeviceLink::frameWritten, this,
                [this] { ++m_written; });
    }

private:
    void readInput() {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_stdin.setEnabled(false);
            m_window.close();
            return;
        }
        m_pending.append(buffer, n);
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            execute(line);
        }
    }

    void execute(const QString& line) {
        const QString command = line.section(' ', 0, 0);
        const QString name = line.section(' ', 1, 1);
        auto* button = m_window.findChild<QAbstractButton*>(name);
        if (command == "click" && button && button->isEnabled()) {
            say("ACK " + line);
            button->click();
        } else if (command == "stats") {
            QString lamps, ports;
            for (int k = 0; k < 8; ++k) {
                auto* lamp = m_window.findChild<QPushButton*>(QString("Command_CPort_%1").arg(k));
                lamps += lamp && toolkit::faceColor(lamp) == toolkit::Red ? '1' : '0';
            }
            for (int i = 0; i < 4; ++i) {
                auto* port = m_window.findChild<QPushButton*>(QString("COM_%1").arg(i));
                ports += port && toolkit::textColor(port) == toolkit::Red ? '1' : '0';
            }
            say(QStringLiteral("STATS gap=%1 rss=%2 lamps=%3 ports=%4 written=%5 pending=%6")
                    .arg(m_monitor.maxGap)
                    .arg(rssKb())
                    .arg(lamps, ports)
                    .arg(m_written)
                    .arg(m_window.waits().pending()));
        } else if (command == "resetgap") {
            m_monitor.reset();
            say("ACK " + line);
        } else if (command == "random") {
            say("ACK " + line);
            m_operator = std::make_unique<RandomOperator>(m_window, line.section(' ', 2).toUInt());
            m_operator->run(name.toInt());
        } else if (command == "settle") {
            // No more polls: afterwards the count of frames written is final.
            m_window.statusQuery().setAutomatic(false);
            waitSettled();
        } else if (command == "close") {
            say("ACK " + line);
            m_window.close();
        } else {
            say("SKIP " + line);
        }
    }

    void waitSettled() {
        if (m_window.waits().pending() == 0) {
            say(QStringLiteral("SETTLED"));
            return;
        }
        QTimer::singleShot(20, this, [this] { waitSettled(); });
    }

    VESK& m_window;
    StallMonitor& m_monitor;
    QSocketNotifier m_stdin;
    QByteArray m_pending;
    qint64 m_written = 0;
    std::unique_ptr<RandomOperator> m_operator;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool classic = args.contains(QStringLiteral("--classic"));
    setUpApplication(app,
                     classic ? QStringLiteral("veskpanel-classic") : QStringLiteral("veskpanel"));
    struct SaidMessages : MessageSink {
        void show(const Message& m) override { say(QStringLiteral("MSG ") + m.text); }
    } said;
    WindowSeams seams;
    if (args.contains(QStringLiteral("--record-messages")))
        seams.messages = &said;
    seams.openUrl = [](const QString& address) { say(QStringLiteral("URL ") + address); };

    StallMonitor monitor;
    int status = 0;
    Waits waits;
    {
        VESK window(classic ? BuildProfile::classicBuild()
                            : BuildProfile::full(&createMultiChannelArea),
                    waits, seams);
        Driver driver(window, monitor);
        window.startUp();
        if (!waits.closing()) {
            window.show();
            say(QStringLiteral("READY"));
            status = app.exec();
        }
    }
    say(QStringLiteral("EXIT pending=%1").arg(waits.pending()));
    return status;
}
