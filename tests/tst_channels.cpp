// The channel switching areas on a real pseudo-terminal: single-channel switches and the status
// query after them, timed all-on/all-off and its nine-second hold, the channel state toggles and
// their mask, and the multi-channel area that only the full program has.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QTimer>

#include "link/datadisplay.h"
#include "link/frame.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

const QColor Red(255, 0, 0);
const QColor Magenta(255, 0, 255);

// Waits out the start-up query, addresses `address` (254: broadcast) and forgets the frames.
void settle(Console& c, int address = 1) {
    QVERIFY(c.pty.waitForFrames(2, 2000));
    if (address != BroadcastAddress) {
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(address);
    }
    QTest::qWait(20);
    c.pty.clear();
}
QString sent(const QList<Received>& frames, int k) {
    return hexText(frames.value(k).bytes).trimmed();
}
QString query(int address) {
    return hexText(statusQueryFrame(quint8(address))).trimmed();
}
void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

} // namespace

class TestChannels : public QObject {
    Q_OBJECT
private slots:
    void singleChannelSwitch_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("frame");
        QTest::newRow("3 on") << false << 1 << 2 << "CA 20 01 18 02 03 01 F6";
        QTest::newRow("8 off") << false << 1 << 15 << "CA 20 01 18 02 08 00 F2";
        QTest::newRow("1 off") << false << 1 << 8 << "CA 20 01 18 02 01 00 F9";
        QTest::newRow("broadcast 1 on") << false << 254 << 0 << "CA 20 FE 18 02 01 01 FB";
        QTest::newRow("address 0") << false << 0 << 0 << "CA 20 00 18 02 01 01 F9";
        QTest::newRow("classic 3 on") << true << 1 << 2 << "CA 20 01 18 02 03 01 F6";
    }
    // One switch frame, then the status query after the settling wait (500 ms, classic 1000 ms)
    // and the query's own 100 ms.
    void singleChannelSwitch() {
        QFETCH(bool, classic);
        QFETCH(int, address);
        QFETCH(int, index);
        QFETCH(QString, frame);
        Console c(classic);
        settle(c, address);
        click(c.button(QStringLiteral("Command_CPort_%1").arg(index)));
        QVERIFY(c.settle());
        QTest::qWait(150);
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), 3);
        QCOMPARE(sent(frames, 0), frame);
        QCOMPARE(sent(frames, 1), query(address));
        QCOMPARE(sent(frames, 2), query(address));
        const qint64 gap = frames[1].atMs - frames[0].atMs, settleMs = classic ? 1000 : 500;
        QVERIFY2(gap >= settleMs + 100 && gap <= settleMs + 200, qPrintable(QString::number(gap)));
        QCOMPARE(c.window->display().text(), frame + ' ');
    }

    void timedAll_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("other");
        const char* on1 = "CA 20 01 19 03 FF FF 01 F9";
        const char* off1 = "CA 20 01 19 03 FF 00 02 F7";
        const char* onFE = "CA 20 FE 19 03 FF FF 01 FC";
        const char* offFE = "CA 20 FE 19 03 FF 00 02 FA";
        QTest::newRow("all on") << false << 1 << 0 << on1 << off1;
        QTest::newRow("all off") << false << 1 << 1 << off1 << on1;
        QTest::newRow("broadcast on") << false << 254 << 0 << onFE << offFE;
        QTest::newRow("classic off") << true << 254 << 1 << offFE << onFE;
    }
    // The frame and the hold; the other button starts its own run meanwhile; closing the window
    // ends both holds at once. The checks run from timers, since the hold runs nested in the click.
    void timedAll() {
        QFETCH(bool, classic);
        QFETCH(int, address);
        QFETCH(int, index);
        QFETCH(QString, frame);
        QFETCH(QString, other);
        Console c(classic);
        settle(c, address);
        QPushButton* first = c.button(QStringLiteral("Command3_%1").arg(index));
        QPushButton* second = c.button(QStringLiteral("Command3_%1").arg(1 - index));
        QCOMPARE(first->font().pointSize(), 12);
        int returned = 0;
        QString shown;
        bool otherEnabled = false, bothDisabled = false;
        QTimer::singleShot(0, c.window.get(), [&] {
            click(first);
            ++returned;
        });
        QTimer::singleShot(400, c.window.get(), [&] {
            shown = c.window->display().text();
            otherEnabled = !first->isEnabled() && second->isEnabled();
            click(second);
            ++returned;
        });
        QTimer::singleShot(800, c.window.get(), [&] {
            bothDisabled = !first->isEnabled() && !second->isEnabled();
            c.window->close();
        });
        QTRY_VERIFY_WITH_TIMEOUT(shuttingDown(), 2000);
        QCOMPARE(returned, 2);
        // Both holds ended with the window at once: nothing waits any more.
        QCOMPARE(Module1::pendingDelays(), 0);
        QCOMPARE(shown, frame + ' ');
        QVERIFY(otherEnabled && bothDisabled);
        QCOMPARE(c.pty.frames().size(), 2);
        QCOMPARE(sent(c.pty.frames(), 0), frame);
        QCOMPARE(sent(c.pty.frames(), 1), other);
        resetShutdown();
    }

    // During the nine seconds a switch click and a reply are handled; then the button comes back
    // and one status query follows.
    void timedAllHoldKeepsWindowUsable() {
        Console c;
        settle(c);
        QPushButton* on = c.button("Command3_0");
        qint64 enabledAt = -1;
        bool offEverDisabled = false, returned = false;
        QTimer sampler;
        sampler.setTimerType(Qt::PreciseTimer);
        connect(&sampler, &QTimer::timeout, this, [&] {
            offEverDisabled |= !c.button("Command3_1")->isEnabled();
            if (enabledAt < 0 && on->isEnabled() && !c.pty.frames().isEmpty())
                enabledAt = c.pty.now();
        });
        QString shownDuringHold;
        QTimer::singleShot(0, c.window.get(), [&] {
            click(on);
            returned = true;
        });
        QTimer::singleShot(50, c.window.get(), [&] { sampler.start(5); });
        QTimer::singleShot(1000, c.window.get(), [&] { click(c.button("Command_CPort_4")); });
        QTimer::singleShot(2500, c.window.get(),
                           [&] { c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 05 D9")); });
        QTimer::singleShot(3200, c.window.get(),
                           [&] { shownDuringHold = c.window->display().text(); });
        QTRY_VERIFY_WITH_TIMEOUT(returned, 12000);
        QVERIFY(c.settle());
        QTest::qWait(150);
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), 6);
        QCOMPARE(sent(frames, 0), QStringLiteral("CA 20 01 19 03 FF FF 01 F9"));
        QCOMPARE(sent(frames, 1), QStringLiteral("CA 20 01 18 02 05 01 F4"));
        for (int k = 2; k < 6; ++k)
            QCOMPARE(sent(frames, k), query(1));
        QCOMPARE(shownDuringHold, QStringLiteral("设备返回：CA 20 01 20 05 D9 "));
        QVERIFY(!offEverDisabled);
        const qint64 held = enabledAt - frames[0].atMs, queryAfter = frames[4].atMs - enabledAt;
        QVERIFY2(held >= 8990 && held <= 9250, qPrintable(QString::number(held)));
        QVERIFY2(queryAfter >= 90 && queryAfter <= 200, qPrintable(QString::number(queryAfter)));
        qInfo("hold %lld ms, query %lld ms after re-enabling", held, queryAfter);
    }

    void channelStates_data() {
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("frame");
        QTest::newRow("all on") << QList<int>{} << 1 << "CA 20 01 CC 04 00 11 01 FF AC";
        QTest::newRow("1 off") << QList<int>{0} << 1 << "CA 20 01 CC 04 00 11 01 FE AC";
        QTest::newRow("8 off") << QList<int>{7} << 1 << "CA 20 01 CC 04 00 11 01 7F AC";
        QTest::newRow("2, 8 off") << QList<int>{1, 7} << 1 << "CA 20 01 CC 04 00 11 01 7D AC";
        QTest::newRow("all off") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 254
                                 << "CA 20 FE CC 04 00 11 01 00 AC";
    }
    // Captions, colours and spin controls follow the toggles; the mask carries them.
    void channelStates() {
        QFETCH(QList<int>, ticked);
        QFETCH(int, address);
        QFETCH(QString, frame);
        Console c;
        settle(c, address);
        const auto check = [&](const QList<int>& off) {
            for (int r = 0; r < 8; ++r) {
                QPushButton* toggle = c.button(QStringLiteral("Check1_%1").arg(r));
                QCOMPARE(toggle->text(), QString::fromUtf8(off.contains(r) ? "关 闭" : "开 启"));
                QCOMPARE(toolkit::textColor(toggle), off.contains(r) ? Qt::black : Magenta);
                for (int i : {r, r + 8})
                    QCOMPARE(c.find<QWidget>(QStringLiteral("SpinButton1_%1").arg(i))->isEnabled(),
                             !off.contains(r));
            }
        };
        for (int r : ticked)
            click(c.button(QStringLiteral("Check1_%1").arg(r)));
        check(ticked);
        QCOMPARE(c.pty.frames().size(), 0); // toggling sends nothing
        // The model series decides whether the button is reachable; the frame does not depend on
        // it.
        QPushButton* send = c.button("Command5");
        send->setEnabled(true);
        QTest::mousePress(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), QColor(250, 210, 180)); // while held
        QTest::mouseRelease(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), toolkit::buttonFace());
        QVERIFY(c.settle());
        QCOMPARE(c.pty.frames().size(), 1);
        QCOMPARE(sent(c.pty.frames(), 0), frame);
        QCOMPARE(c.window->display().text(), frame + ' ');
        for (int r : ticked)
            click(c.button(QStringLiteral("Check1_%1").arg(r)));
        check({});
    }

    void multiChannel_data() {
        QTest::addColumn<QList<int>>("leftOut");
        QTest::addColumn<QList<int>>("switchedOff");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("frame");
        const QList<int> none;
        QTest::newRow("start-up") << none << none << 0 << 0 << "CA 20 01 19 03 FF FF 00 FA";
        QTest::newRow("1, 3 on, 15 min")
            << QList<int>{1, 3, 4, 5, 6, 7} << none << 1 << 15 << "CA 20 01 19 03 05 05 8F 5F";
        QTest::newRow("1-4 off") << QList<int>{4, 5, 6, 7} << QList<int>{0, 1, 2, 3} << 0 << 0
                                 << "CA 20 01 19 03 0F 00 00 E9";
        QTest::newRow("all left out")
            << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << none << 0 << 0 << "CA 20 01 19 03 00 00 00 F8";
        QTest::newRow("2 left out")
            << QList<int>{1} << none << 0 << 0 << "CA 20 01 19 03 FD FD 00 FE";
        QTest::newRow("8 off") << none << QList<int>{7} << 0 << 0 << "CA 20 01 19 03 FF 7F 00 7A";
        QTest::newRow("59 s") << none << none << 0 << 59 << "CA 20 01 19 03 FF FF 7B 7F";
        QTest::newRow("59 min") << none << none << 1 << 59 << "CA 20 01 19 03 FF FF BB 3F";
        QTest::newRow("15 h") << none << none << 2 << 15 << "CA 20 01 19 03 FF FF CF 2B";
        QTest::newRow("1 s") << none << none << 0 << 1 << "CA 20 01 19 03 FF FF 41 B9";
        QTest::newRow("0 h") << none << none << 2 << 0 << "CA 20 01 19 03 FF FF 00 FA";
    }
    void multiChannel() {
        QFETCH(QList<int>, leftOut);
        QFETCH(QList<int>, switchedOff);
        QFETCH(int, unit);
        QFETCH(int, number);
        QFETCH(QString, frame);
        Console c;
        settle(c);
        for (int i : leftOut)
            click(c.button(QStringLiteral("PCheck_%1").arg(i)));
        for (int i : switchedOff)
            click(c.find<QCheckBox>(QStringLiteral("PortCheck_%1").arg(i)));
        c.find<QComboBox>("MinteCombo")->setCurrentIndex(unit);
        c.find<QComboBox>("HourCombo")->setCurrentIndex(number);
        // The echo starts from "1": eleven changes, so the colour ends opposite to ten.
        const DataDisplay& display = c.window->display();
        const QColor colour = (display.changeCounter() + 11) % 2 ? Red : QColor(Qt::black);
        click(c.button("Command4"));
        QVERIFY(c.settle());
        QTest::qWait(150);
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), 3);
        QCOMPARE(sent(frames, 0), frame);
        QCOMPARE(sent(frames, 1), query(1));
        const qint64 gap = frames[1].atMs - frames[0].atMs;
        QVERIFY2(gap >= 600 && gap <= 700, qPrintable(QString::number(gap)));
        QCOMPARE(display.text(), frame + ' ');
        QCOMPARE(display.textColor(), colour);
    }

    void multiChannelControls() {
        Console c;
        auto* selector = c.button("PCheck_1");
        auto* state = c.find<QCheckBox>("PortCheck_1");
        auto* units = c.find<QComboBox>("MinteCombo");
        auto* numbers = c.find<QComboBox>("HourCombo");
        QCOMPARE(toolkit::textColor(c.find<QGroupBox>("Frame7")), QColor(0, 192, 0));
        QCOMPARE(toolkit::textColor(selector), Red);
        QCOMPARE(toolkit::faceColor(selector), QColor(255, 255, 0));
        QVERIFY(selector->font().bold() && !units->isEditable() && !numbers->isEditable());
        QCOMPARE(units->currentText() + numbers->currentText(), QStringLiteral("秒钟0"));
        for (bool leftOut : {true, false}) {
            click(selector);
            QCOMPARE(selector->text(), QString::fromUtf8(leftOut ? "" : "2"));
            QCOMPARE(state->isEnabled(), !leftOut);
            QCOMPARE(state->isChecked(), !leftOut);
            QCOMPARE(state->text(), QString::fromUtf8(leftOut ? "关" : "开"));
            QCOMPARE(toolkit::textColor(state), leftOut ? Qt::black : Red);
        }
        units->setCurrentIndex(2);
        QCOMPARE(numbers->count(), 16);
        numbers->setCurrentIndex(9);
        units->setCurrentIndex(1);
        QCOMPARE(numbers->count(), 60);
        QCOMPARE(numbers->currentIndex(), 0);
        numbers->setCurrentIndex(30);
        emit units->activated(1); // picking the unit already shown resets the number too
        QCOMPARE(numbers->currentIndex(), 0);
    }

    void classicHasNoMultiChannelArea() {
        Console c(true);
        for (const char* name : {"Frame7", "PCheck_0", "PortCheck_0", "HourCombo", "Command4"})
            QVERIFY2(!c.find<QWidget>(name), name);
        QVERIFY(!c.window->multiChannel());
        const QString caption = QStringLiteral("多端口操作区");
        const auto contains = [&](const char* path) {
            QFile file(QString::fromLocal8Bit(path));
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", path);
            const QByteArray binary = file.readAll();
            return binary.contains(caption.toUtf8()) ||
                   binary.contains(QByteArray(reinterpret_cast<const char*>(caption.utf16()),
                                              caption.size() * 2));
        };
        QVERIFY(contains(VESK_FULL_BIN)); // the search finds the caption where it is
        QVERIFY(!contains(VESK_CLASSIC_BIN));
    }
};

QTEST_MAIN(TestChannels)
#include "tst_channels.moc"
