// The console window on a real pseudo-terminal: start-up, ports, replies and lamps, polling, waits.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <ctime>

#include "core/devicelink.h"
#include "core/serialport.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "support/fixture.h"
#include "toolkit/datadisplay.h"

using namespace vesk;

namespace {

const QColor Red(255, 0, 0);

QList<QColor> colours(const Console& c, bool lamps = true) {
    QList<QColor> colours;
    for (int k = 0; k < (lamps ? 8 : 4); ++k)
        colours << (lamps ? toolkit::faceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k)))
                          : toolkit::textColor(c.button(QStringLiteral("COM_%1").arg(k))));
    return colours;
}

struct Waited {
    bool done = false, result = false;
    qint64 elapsed = 0;
};

Task<> timedWait(Waits* w, int ms, Waited* out) {
    QElapsedTimer clock;
    clock.start();
    out->result = co_await w->Delay(ms);
    out->elapsed = clock.elapsed();
    out->done = true;
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Green lamps, which every decoded reply recolours, after the start-up queries.
void greenLamps(Console& c) {
    QVERIFY(c.pty.waitForFrames(2, 2000));
    QTest::qWait(50);
    for (int k = 0; k < 8; ++k)
        toolkit::setFaceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k)), Qt::green);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    // Two broadcast queries 100 ms apart, even while the reply to the first colours the lamps.
    void startUpQueriesBroadcastTwice() {
        Console c(false, false);
        QObject answer;
        connect(&c.pty, &PtyPair::bytesArrived, &answer,
                [&] { c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 05 EF")); });
        c.window->startUp();
        QVERIFY(c.pty.waitForFrames(2, 2000));
        const auto frames = c.pty.frames();
        QCOMPARE(c.pty.allBytes(), hexBytes("CA 20 FE 20 01 01 F5").repeated(2));
        const qint64 gap = frames[1].atMs - frames[0].atMs;
        QVERIFY2(gap >= 100 && gap <= 150, qPrintable(QString::number(gap)));
        QVERIFY(c.messages.isEmpty());
        QCOMPARE(colours(c, false), (QList<QColor>{Red, Qt::black, Qt::black, Qt::black}));
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->count(), 256);
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->itemText(31), QStringLiteral("1F"));
        QCOMPARE(c.find<QComboBox>("IDCombo_0")->currentText(), QStringLiteral("1"));
        QVERIFY(!c.find<QComboBox>("IDCombo_1")->isEnabled());
        QVERIFY(c.find<QCheckBox>("err1")->isChecked());
        QVERIFY(!c.find<QCheckBox>("err1")->isEnabled());
    }

    // Picking another port: COM2 works at once; the missing COM3 is reported once per send (with
    // the echo, nothing written).
    void portSwitch_data() {
        QTest::addColumn<int>("com");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("COM2") << 1 << QStringList{};
        QTest::newRow("missing COM3") << 2 << QStringList{QStringLiteral("COM 3 被占用或损坏!")};
    }
    void portSwitch() {
        QFETCH(int, com);
        QFETCH(QStringList, messages);
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        c.pty.clear();
        QTest::mouseClick(c.button(QStringLiteral("COM_%1").arg(com)), Qt::LeftButton);
        QCOMPARE(c.messageTexts(), messages);
        for (const auto& m : std::as_const(c.messages))
            QVERIFY(m.title == appTitle() && m.icon == Icon::Warning);
        QList<QColor> captions(4, Qt::black);
        if (messages.isEmpty())
            captions[com] = Red;
        QCOMPARE(colours(c, false), captions);
        QVERIFY(c.button(QStringLiteral("COM_%1").arg(com))->isChecked());

        c.messages.clear();
        QTest::mouseClick(c.button("Command_CPort_2"), Qt::LeftButton);
        QVERIFY(c.settle());
        QCOMPARE(c.messageTexts(), messages);
        QVERIFY(c.pty.allBytes().isEmpty());
        const QList<Received> frames = c.pty2.frames();
        QCOMPARE(frames.size(), messages.isEmpty() ? 3 : 0);
        QCOMPARE(frames.value(0).bytes,
                 messages.isEmpty() ? hexBytes("CA 20 FE 18 02 03 01 F9") : "");
        QCOMPARE(c.window->display().text(), QStringLiteral("CA 20 FE 18 02 03 01 F9 "));
    }

    // Replies at line speed. " | " is a pause of 8 ms inside a reply, as a USB adapter's latency
    // timer or a TCP hop delivers it: shorter than the quiet gap, so one batch. " || " is a pause
    // of 100 ms between two replies: two batches, the second shown. Only a valid status reply
    // colours the lamps; anything else is shown with a note and leaves them as they were.
    void replyBatches_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("lamps"); // -1: not taken as a status reply
        for (const auto& [reply, lamps] :
             {std::pair("CA 20 01 20 05 EF", 0x05),
              {"CA 20 01 20 00 F4", 0x00},
              {"CA 20 07 20 80 6E", 0x80}, // any address: broadcast queries reach every one
              {"CA 20 01 | 20 05 EF", 0x05},
              {"CA 20 01 20 01 F3 || CA 20 01 20 03 F1", 0x03},
              {"0A FF 01", -1},
              {"11 22 33 44 FF 66", -1}, // line noise
              {"CA 20 01 20 05 D9", -1}, // checksum does not add up
              {"CB 20 01 20 05 EE", -1}, // header
              {"CA 20 01 21 05 EE", -1}, // not the status command
              {"CA 20 00 20 00 E0", -1}, // three replies overlaid
              {"CA 20 01 20 01 01 F2", -1}})
            QTest::newRow(reply) << QString(reply) << lamps;
    }
    void replyBatches() {
        QFETCH(QString, reply);
        QFETCH(int, lamps);
        Console c;
        greenLamps(c);
        QSignalSpy batches(&c.window->port(), &SerialPortControl::onComm);
        QByteArray bytes;
        for (const QString& token : (reply + QStringLiteral(" ||")).split(QLatin1Char(' '))) {
            if (!token.startsWith(QLatin1Char('|'))) {
                bytes += hexBytes(qPrintable(token));
                continue;
            }
            c.pty.writeAtLineSpeed(std::exchange(bytes, {}));
            QElapsedTimer pause;
            pause.start();
            QEventLoop wait; // handles the console's events meanwhile, the quiet gap's among them
            QTimer::singleShot(token.size() == 1 ? 8 : 100, Qt::PreciseTimer, &wait,
                               &QEventLoop::quit);
            wait.exec();
            if (token.size() == 1 && pause.elapsed() >= 16)
                QSKIP("the 8 ms pause grew to 16 ms or more on a stalled machine");
        }
        const QString shown =
            reply.section(QStringLiteral(" || "), -1).remove(QStringLiteral("| "));
        const QString note = lamps < 0 ? QStringLiteral("（不是状态应答，指示灯未变）") : QString();
        QTRY_COMPARE_WITH_TIMEOUT(c.window->display().text(), "设备返回：" + shown + ' ' + note,
                                  500);
        QCOMPARE(batches.size(), int(reply.count(QStringLiteral("||"))) + 1);
        QList<QColor> expected;
        for (int k = 0; k < 8; ++k)
            expected << (lamps < 0 ? QColor(Qt::green)
                                   : ((lamps >> k) & 1 ? Red : toolkit::buttonFace()));
        if (lamps < 0)
            QTest::qWait(700); // longer than a decoded reply takes to colour all lamps
        QTRY_COMPARE_WITH_TIMEOUT(colours(c), expected, 1500);
    }

    void lampsColourOneByOneAfterTheReply() {
        Console c;
        greenLamps(c);
        QList<qint64> litAt(8, -1);
        qint64 sent = 0;
        // Sampled by a timer: the colouring runs nested inside whatever waits.
        QTimer sampler;
        sampler.setTimerType(Qt::PreciseTimer);
        connect(&sampler, &QTimer::timeout, this, [&] {
            const auto now = colours(c);
            for (int k = 0; k < 8; ++k)
                if (litAt[k] < 0 && now[k] == Red)
                    litAt[k] = c.pty.now() - sent;
        });
        sampler.start(1);
        c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 FF F5"));
        sent = c.pty.now();
        QTRY_VERIFY_WITH_TIMEOUT(!litAt.contains(-1), 1500);
        // About 100 ms plus the quiet gap to the first lamp, then one every 50 ms in channel order.
        QVERIFY2(litAt[0] >= 100 && litAt[0] <= 250, qPrintable(QString::number(litAt[0])));
        for (int k = 1; k < 8; ++k) {
            const qint64 step = litAt[k] - litAt[k - 1];
            QVERIFY2(step >= 40 && step <= 110,
                     qPrintable(QStringLiteral("lamp %1 step %2").arg(k).arg(step)));
        }
    }

    void pollingEveryTwoSeconds() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        c.pty.clear();
        c.find<QCheckBox>("Checktest")->setChecked(true);
        const qint64 on = c.pty.now();
        QVERIFY(c.pty.waitForFrames(4, 5000));
        const auto frames = c.pty.frames();
        const qint64 first = frames[0].atMs - on;
        const qint64 period = frames[2].atMs - frames[0].atMs;
        QVERIFY2(first >= 2000 && first <= 2400, qPrintable(QString::number(first)));
        QVERIFY2(period >= 1950 && period <= 2150, qPrintable(QString::number(period)));

        // Polling goes on silently while the port is closed, and stops when unticked.
        QTest::mouseClick(c.button("COM_2"), Qt::LeftButton);
        c.messages.clear();
        c.pty.clear();
        QTest::qWait(2300);
        QVERIFY(c.messages.isEmpty());
        QVERIFY(c.pty.allBytes().isEmpty());
        QTest::mouseClick(c.button("COM_0"), Qt::LeftButton);
        c.find<QCheckBox>("Checktest")->setChecked(false);
        QTest::qWait(2300);
        QVERIFY(c.pty.allBytes().isEmpty());
    }

    void delayWaitsAndProcessesEvents() {
        // Waits started together each end after their own time, not held up by a longer one.
        const QList<int> times{500, 0, 1, 50, 100, 300};
        Waits w;
        QList<Waited> waits(times.size());
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        const double before = cpuSeconds();
        for (int i = 0; i < times.size(); ++i)
            spawn(timedWait(&w, times[i], &waits[i]));
        QTRY_VERIFY_WITH_TIMEOUT(waits[0].done, 2000);
        const double used = cpuSeconds() - before;
        QVERIFY(ran);
        for (int i = 0; i < times.size(); ++i) {
            QVERIFY(waits[i].done && waits[i].result);
            QVERIFY2(
                waits[i].elapsed > times[i] && waits[i].elapsed <= times[i] + 60,
                qPrintable(QStringLiteral("%1 ms took %2").arg(times[i]).arg(waits[i].elapsed)));
        }
        // Idle while waiting: half a second of waiting costs almost no CPU.
        QVERIFY2(used < 0.1, qPrintable(QString::number(used)));
        QCOMPARE(w.pending(), 0);
        // Closing ends a wait at once, and the wait yields false so that its operation stops.
        Waited cut;
        spawn(timedWait(&w, 5000, &cut));
        w.close();
        clearExitRequest();
        QVERIFY(cut.done && !cut.result && cut.elapsed < 1000);
    }

    void labels() {
        Console c;
        auto* link = c.find<QWidget>("Label24");
        QCOMPARE(toolkit::textColor(link), QColor(0, 0, 128));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(link, QPoint(5, 5));
        for (const auto& [widget, at, colour] :
             {std::tuple<QWidget*, QPointF, QColor>(link, {5, 5}, Red),
              {c.window.get(), {3, 300}, QColor(64, 64, 64)}}) {
            QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(widget, &move);
            QCOMPARE(toolkit::textColor(link), colour);
        }
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(c.urls, QStringList{VESK::webAddress()});

        auto* note = c.find<QLabel>("Label23");
        QCOMPARE(note->text(), QStringLiteral("说明:选中为开未选为关!"));
        QTest::mouseClick(note, Qt::LeftButton);
        QVERIFY(note->text().isEmpty());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
