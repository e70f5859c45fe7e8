// The device configuration areas on a real pseudo-terminal: power-on state, interlocks, address
// setting, key lock and the model series: frames on the wire, echoes, colours, enabling, layout.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "link/datadisplay.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

// A console past its start-up queries, talking to address 1 over a clean line.
void ready(Console& c) {
    QVERIFY(c.pty.waitForFrames(2, 2000));
    c.find<QCheckBox>("Check2")->setChecked(false);
    c.pty.clear();
}

// "name" clicks the control (check boxes and options on their indicator); "name=n" selects
// entry n of a list.
void act(Console& c, const QStringList& actions) {
    for (const QString& a : actions) {
        if (a.contains('=')) {
            c.find<QComboBox>(a.section('=', 0, 0))->setCurrentIndex(a.section('=', 1).toInt());
            continue;
        }
        auto* w = c.find<QAbstractButton>(a);
        QVERIFY2(w, qPrintable(a));
        const QPoint at =
            qobject_cast<QPushButton*>(w) ? w->rect().center() : QPoint(6, w->height() / 2);
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
        QVERIFY(c.settle());
    }
}

// The display's echo: upper-case hex, each byte followed by a blank.
QString echoOf(const QByteArray& frame) {
    return QString::fromLatin1(frame.toHex(' ').toUpper()) + QLatin1Char(' ');
}

// The colour most pixels of a widget show on screen.
QColor shownColour(QWidget* w) {
    const QImage image = w->grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    return QColor(std::max_element(counts.cbegin(), counts.cend()).key());
}

bool shown(const Console& c, const QString& name) {
    return c.find<QWidget>(name)->isVisibleTo(c.window.get());
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void frames_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("frame"); // the last one written
        auto row = [](const char* name, QStringList actions, int count, const char* hex) {
            QTest::newRow(name) << actions << count << hexBytes(hex);
        };
        row("mode before loss", {"kj_ID_0"}, 1, "CA 20 01 CC 04 00 15 01 FF AC");
        row("mode user, no state", {"port_1", "kj_ID_1"}, 2, "CA 20 01 CC 04 00 15 01 00 AC");
        row("state 1 3 8", {"port_0", "port_2", "port_7"}, 3, "CA 20 01 CC 04 00 11 01 85 AC");
        row("state 5", {"port_4"}, 1, "CA 20 01 CC 04 00 11 01 10 AC");
        row("state none", {"port_3", "port_3"}, 2, "CA 20 01 CC 04 00 11 01 00 AC");
        row("state all",
            {"port_0", "port_1", "port_2", "port_3", "port_4", "port_5", "port_6", "port_7"}, 8,
            "CA 20 01 CC 04 00 11 01 FF AC");
        row("mask 5-6", {"Fusuo_2"}, 1, "CA 20 01 CC 04 00 1F 01 04 AC");
        row("mask 7-8", {"Fusuo_3"}, 1, "CA 20 01 CC 04 00 1F 01 08 AC");
        row("mask all", {"Fusuo_0", "Fusuo_1", "Fusuo_2", "Fusuo_3"}, 4,
            "CA 20 01 CC 04 00 1F 01 0F AC");
        row("mask none", {"Fusuo_1", "Fusuo_1"}, 2, "CA 20 01 CC 04 00 1F 01 00 AC");
        const char* pairs[8] = {"20 02 02 01", "20 02 00 00", "22 02 08 04", "22 02 00 00",
                                "24 02 20 10", "24 02 00 00", "26 02 80 40", "26 02 00 00"};
        for (int i = 0; i < 8; ++i) {
            const QString s1 = QStringLiteral("S1_%1").arg(i);
            QTest::newRow(qPrintable(s1))
                << QStringList{"Option1_0", s1, s1} << 2
                << hexBytes(QByteArray("CA 20 01 CC 05 00 ") + pairs[i] + " AC");
        }
        row("lock", {"Command25_1", "Command25_1"}, 2, "CA 20 01 CF 01 00 44");
        row("unlock", {"Command25_0"}, 1, "CA 20 01 CF 01 01 43");
        row("lock broadcast", {"Check2", "Command25_1"}, 1, "CA 20 FE CF 01 00 47");
        row("address 1A", {"IDCombo_0=26", "IDset"}, 1, "CA 20 FE CC 04 00 10 01 1A AC");
        row("address 0", {"IDCombo_0=0", "IDset"}, 1, "CA 20 FE CC 04 00 10 01 00 AC");
        row("address FE", {"IDCombo_0=254", "IDset"}, 1, "CA 20 FE CC 04 00 10 01 FE AC");
        row("address FF from 5", {"IDCombo_1=5", "IDCombo_0=255", "IDset"}, 1,
            "CA 20 FE CC 04 00 10 01 FF AC");
        row("others still to 5", {"IDCombo_1=5", "IDset", "Command25_1"}, 2,
            "CA 20 05 CF 01 00 40");
    }
    void frames() {
        QFETCH(QStringList, actions);
        QFETCH(int, count);
        QFETCH(QByteArray, frame);
        Console c;
        ready(c);
        act(c, actions);
        QVERIFY(c.pty.waitForFrames(count, 1000));
        QTest::qWait(120);
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), count);
        QCOMPARE(frames.last().bytes, frame);
        QCOMPARE(c.window->display().text(), echoOf(frame));
        QVERIFY(c.messages.isEmpty());
    }

    void keyLockEcho_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("changes"); // of the display: "1", empty, seven bytes
        QTest::newRow("full") << false << 9;
        QTest::newRow("classic") << true << 8;
    }
    void keyLockEcho() {
        QFETCH(bool, classic);
        QFETCH(int, changes);
        Console c(classic);
        ready(c);
        const int before = c.window->display().changeCounter();
        act(c, {"Command25_0"});
        // The colour alternates with every change, so the classic echo ends in the other colour.
        QCOMPARE(c.window->display().changeCounter(), (before + changes) % 2);
    }

    void portColours_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("colours"); // R red, B black, W white, - default
        QTest::addColumn<QString>("ticks");
        QTest::newRow("start") << QStringList{} << "--------"
                               << "00000000";
        QTest::newRow("ticked") << QStringList{"port_0", "port_2", "port_7"} << "RBRBBBBR"
                                << "10100001";
        QTest::newRow("before loss") << QStringList{"port_1", "kj_ID_0", "port_3"} << "WWWWWWWW"
                                     << "01000000";
        QTest::newRow("user again") << QStringList{"port_1", "kj_ID_0", "kj_ID_1"} << "BBBBBBBB"
                                    << "01000000";
    }
    void portColours() {
        QFETCH(QStringList, actions);
        QFETCH(QString, colours);
        QFETCH(QString, ticks);
        Console c;
        ready(c);
        act(c, actions);
        const QHash<QChar, QColor> colour{{'R', Qt::red},
                                          {'B', Qt::black},
                                          {'W', Qt::white},
                                          {'-', c.window->palette().color(QPalette::Button)}};
        for (int i = 0; i < 8; ++i) {
            auto* box = c.find<QCheckBox>(QStringLiteral("port_%1").arg(i));
            QCOMPARE(box->palette().color(box->backgroundRole()), colour[colours[i]]);
            if (colours[i] != '-') // the default shows the white indicator
                QCOMPARE(shownColour(box), colour[colours[i]]);
            QCOMPARE(box->isChecked(), ticks[i] == '1');
            QCOMPARE(box->isEnabled(), colours[i] != 'W');
        }
    }

    void stateEchoFollowsWhatArrivesDuringTheWait() {
        Console c;
        ready(c);
        QTimer::singleShot(10, [&] { c.pty.writeNow(hexBytes("CA 20 01 20 05 D9")); });
        act(c, {"port_0"});
        QCOMPARE(c.window->display().text(),
                 QStringLiteral("设备返回：CA 20 01 20 05 D9 CA 20 01 CC 04 00 11 01 01 AC "));
    }

    void addressRow() {
        Console c;
        ready(c);
        auto* combo1 = c.find<QComboBox>("IDCombo_1");
        combo1->setCurrentIndex(0x1F);
        act(c, {"Check2"});
        QVERIFY(!combo1->isEnabled());
        act(c, {"Check2"});
        QVERIFY(combo1->isEnabled());
        QCOMPARE(combo1->currentIndex(), 0x1F);
        for (auto* combo : {c.find<QComboBox>("IDCombo_0"), combo1}) {
            const int before = combo->currentIndex();
            QTest::keyClicks(combo, "A5F 2");
            combo->showPopup(); // typing into the open list is refused too
            QTest::keyClicks(combo->view(), "A5");
            QTest::keyClick(combo->view(), Qt::Key_Return);
            QCOMPARE(combo->currentIndex(), before);
        }
        // The address setting writes at once, without the usual wait.
        QElapsedTimer t;
        t.start();
        act(c, {"IDset"});
        QVERIFY2(t.elapsed() < 90, qPrintable(QString::number(t.elapsed())));
        QVERIFY(c.pty.waitForFrames(1, 100));
    }

    void noAddressSelectedSendsNothing() {
        Console c;
        ready(c);
        act(c, {"IDCombo_0=-1", "IDset", "IDCombo_1=-1", "Fusuo_0", "port_0", "kj_ID_1",
                "Option1_0", "S1_0", "Command25_0"});
        QTest::qWait(200);
        QVERIFY(c.pty.allBytes().isEmpty());
        QCOMPARE(c.messages.size(), 6);
        for (const auto& m : c.messages)
            QCOMPARE(m.title, QStringLiteral("VESK系列电源控制器"));
    }

    void addressSettingOnAClosedOrBrokenPort() {
        Console c;
        ready(c);
        const QString echo = QStringLiteral("CA 20 FE CC 04 00 10 01 01 AC ");
        act(c, {"COM_2", "IDset"}); // COM3 is missing
        QCOMPARE(c.messageTexts().last(), QStringLiteral("COM 3 被占用或损坏!"));
        QCOMPARE(c.window->display().text(), echo);
        act(c, {"COM_0"});
        c.pty.hangUp();
        QTest::qWait(100);
        c.window->display().setText(QString());
        act(c, {"IDset"});
        QCOMPARE(c.messageTexts().last(), QStringLiteral("COM 1 被占用或损坏!"));
        QCOMPARE(c.window->display().text(), echo);
    }

    void seriesLayout() {
        Console c;
        ready(c);
        const QStringList qxOnly{"S1_0", "S1_7"};
        const QStringList only5200{"Fusuo_0", "Fusuo_3", "Frame6", "TestButton", "Checktest"};
        auto expectSeries = [&](bool qx) {
            QCOMPARE(c.find<QRadioButton>("Option1_0")->isChecked(), qx);
            QCOMPARE(c.find<QRadioButton>("Option1_1")->isChecked(), !qx);
            QCOMPARE(c.button("Command5")->isEnabled(), qx);
            for (const QString& name : qxOnly)
                QVERIFY2(shown(c, name) == qx, qPrintable(name));
            for (const QString& name : only5200)
                QVERIFY2(shown(c, name) == !qx, qPrintable(name));
        };
        expectSeries(false);
        c.find<QCheckBox>("Checktest")->setChecked(true);
        act(c, {"Fusuo_3"});
        QVERIFY(c.pty.waitForFrames(1, 1000));
        c.pty.clear();
        act(c, {"Option1_0"});
        expectSeries(true);
        // Selecting a series sends nothing; polling goes on while its box is hidden.
        QTest::qWait(100);
        QVERIFY(c.pty.allBytes().isEmpty());
        QVERIFY(c.pty.waitForFrames(2, 2500));
        act(c, {"Option1_0"}); // already selected: stays so
        expectSeries(true);
        act(c, {"Option1_1"});
        expectSeries(false);
        QVERIFY(c.find<QCheckBox>("Fusuo_3")->isChecked());
        QVERIFY(c.find<QCheckBox>("Checktest")->isChecked());
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
