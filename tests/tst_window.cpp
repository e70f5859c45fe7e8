// The console window on a real pseudo-terminal: start-up frames, port switching, replies and lamps,
// the data display's colours, polling, an unplugged port, and closing in the middle of a wait.
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

QList<QColor> lampColours(const Console& c) {
    QList<QColor> colours;
    for (int k = 0; k < 8; ++k)
        colours << toolkit::faceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k)));
    return colours;
}

QList<QColor> comCaptionColours(const Console& c) {
    QList<QColor> colours;
    for (int i = 0; i < 4; ++i)
        colours << toolkit::textColor(c.button(QStringLiteral("COM_%1").arg(i)));
    return colours;
}

struct Waited {
    bool done = false;
    bool result = false;
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

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpQueriesBroadcastTwice() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].bytes, hexBytes("CA 20 FE 20 01 01 F5"));
        QCOMPARE(frames[1].bytes, hexBytes("CA 20 FE 20 01 01 F5"));
        const qint64 gap = frames[1].atMs - frames[0].atMs;
        QVERIFY2(gap >= 100 && gap <= 130, qPrintable(QString::number(gap)));
        QVERIFY(c.messages.isEmpty());
        QCOMPARE(comCaptionColours(c), (QList<QColor>{Red, Qt::black, Qt::black, Qt::black}));
        // The start-up state of the shared controls.
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->count(), 256);
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->itemText(255), QStringLiteral("FF"));
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->itemText(31), QStringLiteral("1F"));
        QCOMPARE(c.find<QComboBox>("IDCombo_0")->currentText(), QStringLiteral("1"));
        QVERIFY(!c.find<QComboBox>("IDCombo_1")->isEnabled());
        QVERIFY(c.find<QCheckBox>("err1")->isChecked());
        QVERIFY(!c.find<QCheckBox>("err1")->isEnabled());
    }

    void queryGoesToTheSelectedAddress_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("1F") << 0x1F << hexBytes("CA 20 1F 20 01 01 D4");
        QTest::newRow("1") << 1 << hexBytes("CA 20 01 20 01 01 F2");
        QTest::newRow("0") << 0 << hexBytes("CA 20 00 20 01 01 F3");
    }
    void queryGoesToTheSelectedAddress() {
        QFETCH(int, address);
        QFETCH(QByteArray, frame);
        Console c;
        QVERIFY(c.settle());
        c.pty.clear();
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(address);
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QVERIFY(c.pty.waitForFrames(2, 2000));
        QCOMPARE(c.pty.frames()[0].bytes, frame);
        QCOMPARE(c.pty.frames()[1].bytes, frame);
    }

    void missingPortIsReportedOnce() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        c.pty.clear();
        QTest::mouseClick(c.button("COM_2"), Qt::LeftButton);
        QCOMPARE(c.messageTexts(), QStringList{QStringLiteral("COM 3 被占用或损坏!")});
        QCOMPARE(c.messages[0].title, QStringLiteral("VESK系列电源控制器"));
        QCOMPARE(c.messages[0].icon, Icon::Warning);
        QCOMPARE(comCaptionColours(c), QList<QColor>(4, Qt::black));
        QVERIFY(c.button("COM_2")->isChecked());

        // The status query stays silent; a switch says so again, echoes and writes nothing.
        c.messages.clear();
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QVERIFY(c.messages.isEmpty());
        QTest::mouseClick(c.button("Command_CPort_2"), Qt::LeftButton);
        QVERIFY(c.settle());
        QCOMPARE(c.messageTexts(), QStringList{QStringLiteral("COM 3 被占用或损坏!")});
        QCOMPARE(c.window->display().text(), QStringLiteral("CA 20 FE 18 02 03 01 F9 "));
        QTest::qWait(100);
        QVERIFY(c.pty.allBytes().isEmpty());

        // Picking a working port again restores normal operation.
        c.messages.clear();
        QTest::mouseClick(c.button("COM_0"), Qt::LeftButton);
        QVERIFY(c.messages.isEmpty());
        QCOMPARE(comCaptionColours(c), (QList<QColor>{Red, Qt::black, Qt::black, Qt::black}));
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QVERIFY(c.pty.waitForFrames(2, 2000));
    }

    void switchingToAnotherPort() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        QTest::mouseClick(c.button("COM_1"), Qt::LeftButton);
        QVERIFY(c.messages.isEmpty());
        QCOMPARE(comCaptionColours(c), (QList<QColor>{Qt::black, Red, Qt::black, Qt::black}));
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QVERIFY(c.pty2.waitForFrames(2, 2000));
        QCOMPARE(c.window->port().commPort(), 2);
    }

    void busyPortAtStartUp() {
        PtyPair holderPty;
        QSerialPort holder(holderPty.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        qputenv("VESKPANEL_COM1", holderPty.slavePath().toLocal8Bit());
        Console c(false, false);
        c.window->port().setSpecFor(1, *parsePortSpec(holderPty.slavePath()));
        c.window->startUp();
        QCOMPARE(c.messageTexts(), QStringList{QStringLiteral("COM 1 被占用或损坏!")});
        QCOMPARE(comCaptionColours(c), QList<QColor>(4, Qt::black));
        QTest::qWait(250);
        QVERIFY(holder.readAll().isEmpty());
    }

    void replyBatches_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("lamps"); // -1: not decoded
        QTest::newRow("status 0x05") << hexBytes("CA 20 01 20 05 D9")
                                     << QStringLiteral("设备返回：CA 20 01 20 05 D9 ") << 0x05;
        QTest::newRow("status 0xFF") << hexBytes("CA 20 01 20 FF DF")
                                     << QStringLiteral("设备返回：CA 20 01 20 FF DF ") << 0xFF;
        QTest::newRow("status 0x00") << hexBytes("CA 20 01 20 00 DE")
                                     << QStringLiteral("设备返回：CA 20 01 20 00 DE ") << 0x00;
        QTest::newRow("three bytes")
            << hexBytes("0A FF 01") << QStringLiteral("设备返回：0A FF 01 ") << -1;
        QTest::newRow("seven bytes") << hexBytes("CA 20 01 20 01 01 F2")
                                     << QStringLiteral("设备返回：CA 20 01 20 01 01 F2 ") << -1;
    }
    void replyBatches() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        QFETCH(int, lamps);
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        QTest::qWait(50);
        // Start from a known lamp state that every decoded reply changes.
        for (int k = 0; k < 8; ++k)
            toolkit::setFaceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k)), Qt::green);
        QSignalSpy batches(&c.window->port(), &SerialPortControl::onComm);
        c.pty.writeAtLineSpeed(reply);
        QTRY_COMPARE_WITH_TIMEOUT(c.window->display().text(), shown, 500);
        QCOMPARE(batches.size(), 1);
        QTest::qWait(650);
        QList<QColor> expected;
        for (int k = 0; k < 8; ++k)
            expected << (lamps < 0 ? QColor(Qt::green)
                                   : ((lamps >> k) & 1 ? Red : toolkit::buttonFace()));
        QCOMPARE(lampColours(c), expected);
    }

    void lampsColourOneByOneAfterTheReply() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        QTest::qWait(50);
        for (int k = 0; k < 8; ++k)
            toolkit::setFaceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k)), Qt::green);
        QList<qint64> litAt(8, -1);
        qint64 sent = 0;
        // Sampled by a timer, since the colouring runs nested inside whatever waits.
        QTimer sampler;
        sampler.setTimerType(Qt::PreciseTimer);
        connect(&sampler, &QTimer::timeout, this, [&] {
            const auto colours = lampColours(c);
            for (int k = 0; k < 8; ++k)
                if (litAt[k] < 0 && colours[k] == Red)
                    litAt[k] = c.pty.now() - sent;
        });
        sampler.start(1);
        c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 FF DF"));
        sent = c.pty.now();
        QTRY_VERIFY_WITH_TIMEOUT(litAt[7] >= 0, 1500);
        // About 100 ms plus the quiet gap to the first lamp, then one every 50 ms in channel order.
        QVERIFY2(litAt[0] >= 100 && litAt[0] <= 200, qPrintable(QString::number(litAt[0])));
        for (int k = 1; k < 8; ++k) {
            const qint64 step = litAt[k] - litAt[k - 1];
            QVERIFY2(step >= 45 && step <= 80,
                     qPrintable(QStringLiteral("lamp %1 step %2").arg(k).arg(step)));
        }
    }

    void repliesApartStayApart() {
        Console c;
        QVERIFY(c.pty.waitForFrames(2, 2000));
        QTest::qWait(50);
        QSignalSpy batches(&c.window->port(), &SerialPortControl::onComm);
        c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 01 DD"));
        QTest::qWait(100);
        c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 03 DB"));
        QTRY_COMPARE_WITH_TIMEOUT(batches.size(), 2, 1000);
        QTest::qWait(100);
        QCOMPARE(batches.size(), 2);
    }

    void displayColourAlternates() {
        Console c(false, false);
        DataDisplay& d = c.window->display();
        QCOMPARE(d.textColor(), QColor(0, 0, 128));
        QCOMPARE(d.text(), DataDisplay::initialText());
        const QList<QColor> expected{Red, Qt::black, Red, Qt::black};
        QList<QColor> seen;
        for (const char* text : {"a", "b", "c", "d"}) {
            d.setText(QString::fromLatin1(text));
            seen << d.textColor();
        }
        QCOMPARE(seen, expected);
        // An echo of a 7-byte frame (a clearing and seven extensions) and its reply end red.
        c.window->link().echo(hexBytes("CA 20 01 CF 01 00 44"));
        QCOMPARE(d.text(), QStringLiteral("CA 20 01 CF 01 00 44 "));
        d.setText(QStringLiteral("设备返回：00 "));
        QCOMPARE(d.textColor(), Red);
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
        QVERIFY2(first >= 2000 && first <= 2250, qPrintable(QString::number(first)));
        QVERIFY2(period >= 1980 && period <= 2020, qPrintable(QString::number(period)));

        // Polling goes on silently while the port is closed, and stops when unticked.
        QTest::mouseClick(c.button("COM_2"), Qt::LeftButton);
        c.messages.clear();
        c.pty.clear();
        QTest::qWait(2300);
        QVERIFY(c.messages.isEmpty());
        QVERIFY(c.pty.allBytes().isEmpty());
        QTest::mouseClick(c.button("COM_0"), Qt::LeftButton);
        c.find<QCheckBox>("Checktest")->setChecked(false);
        QVERIFY(!c.window->statusQuery().Timer2().isActive());
    }

    void delayWaitsAndProcessesEvents() {
        // Waits started together each end on their own time: a short wait is not held up by a
        // longer one, and every wait lasts more than its time.
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
                waits[i].elapsed > times[i] && waits[i].elapsed <= times[i] + 25,
                qPrintable(QStringLiteral("%1 ms took %2").arg(times[i]).arg(waits[i].elapsed)));
        }
        // Idle while waiting: half a second of waiting costs almost no CPU.
        QVERIFY2(used < 0.05, qPrintable(QString::number(used)));
        QCOMPARE(w.pending(), 0);
    }

    void queriesKeepTheirGapWhileLampsColour() {
        // The reply to the first query colours the lamps for half a second; the second query still
        // goes out 100 ms after the first.
        Console c(false, false);
        QObject answer;
        connect(&c.pty, &PtyPair::bytesArrived, &answer,
                [&] { c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 05 D9")); });
        c.window->startUp();
        QVERIFY(c.pty.waitForFrames(2, 2000));
        const auto frames = c.pty.frames();
        const qint64 gap = frames[1].atMs - frames[0].atMs;
        QVERIFY2(gap >= 100 && gap <= 110, qPrintable(QString::number(gap)));
    }

    void labels() {
        Console c;
        auto* link = c.find<QWidget>("Label24");
        QCOMPARE(toolkit::textColor(link), QColor(0, 0, 128));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(link, QPoint(5, 5));
        QMouseEvent overLink(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(link, &overLink);
        QCOMPARE(toolkit::textColor(link), Red);
        QMouseEvent overWindow(QEvent::MouseMove, QPointF(3, 300), QPointF(3, 300), Qt::NoButton,
                               Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(c.window.get(), &overWindow);
        QCOMPARE(toolkit::textColor(link), QColor(64, 64, 64));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(c.urls, QStringList{VESK::webAddress()});

        auto* note = c.find<QLabel>("Label23");
        QCOMPARE(note->text(), QStringLiteral("说明:选中为开未选为关!"));
        QTest::mouseClick(note, Qt::LeftButton);
        QVERIFY(note->text().isEmpty());
    }

    void windowKeepsItsSize() {
        Console c(false, false);
        c.window->show();
        c.window->resize(900, 900);
        QCOMPARE(c.window->size(), QSize(595, 656));
        c.window->showMaximized();
        QCOMPARE(c.window->size(), QSize(595, 656));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
