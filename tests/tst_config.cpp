// The device configuration areas on a real pseudo-terminal: power-on state, interlocks, address
// setting, key lock and the model series: frames on the wire, echoes, messages, colours, layout.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QTimer>

#include "support/fixture.h"
#include "toolkit/datadisplay.h"

using namespace vesk;

class TestConfig : public QObject {
    Q_OBJECT
    // "name" clicks a control (left, on check boxes' and options' indicator), "name=n" selects
    // entry n of a list, "~name" types into the list and into the open list, "<hex" has the
    // controller answer 10 ms later, "hangup" unplugs the line, "waitN" waits N ms.
    static void act(Console& c, const QStringList& steps) {
        for (const QString& a : steps) {
            if (a.startsWith('<')) {
                QTimer::singleShot(10, c.window.get(),
                                   [&c, a] { c.pty.writeNow(hexBytes(qPrintable(a.mid(1)))); });
            } else if (a == "hangup") {
                c.pty.hangUp();
            } else if (a.startsWith("wait")) {
                QTest::qWait(a.mid(4).toInt());
            } else if (a.startsWith('~')) {
                auto* combo = c.find<QComboBox>(a.mid(1));
                QTest::keyClicks(combo, "A5F 2");
                combo->showPopup();
                QTest::keyClicks(combo->view(), "A5");
                QTest::keyClick(combo->view(), Qt::Key_Return);
            } else if (a.contains('=')) {
                c.find<QComboBox>(a.section('=', 0, 0))->setCurrentIndex(a.section('=', 1).toInt());
            } else {
                auto* w = c.find<QAbstractButton>(a);
                QVERIFY2(w, qPrintable(a));
                QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
                QVERIFY(c.settle());
            }
        }
    }

private slots:
    // Actions from address 1 ("classic": the classic program); frames written, the last echoed;
    // power-on boxes (r red, b black, w white/disabled, - default; upper case: ticked), then which
    // series controls show (+: Command5 reachable); messages and display when not just the echo.
    void frames_data() {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("state");
        auto row = [](const char* name, const char* a, int n, const char* f, const char* p = "",
                      const QString& seen = {}) {
            QTest::newRow(name) << QString(a) << n << QString(f) << seen << QString(p);
        };
        row("mode before loss", "port_1 kj_ID_0", 2, "CA 20 01 CC 04 00 15 01 FF AC", "wWwwwwww");
        row("user again", "port_1 kj_ID_0 kj_ID_1", 3, "CA 20 01 CC 04 00 15 01 00 AC", "bBbbbbbb");
        row("state 1 3 8", "port_0 port_2 port_7", 3, "CA 20 01 CC 04 00 11 01 85 AC", "RbRbbbbR");
        row("reply during the wait", "<CA20012005EF port_0", 1, "CA 20 01 CC 04 00 11 01 01 AC", "",
            "设备返回：CA 20 01 20 05 EF CA 20 01 CC 04 00 11 01 01 AC ");
        row("mask 5-6", "Fusuo_2", 1, "CA 20 01 CC 04 00 1F 01 04 AC");
        row("mask none", "Fusuo_1 Fusuo_1", 2, "CA 20 01 CC 04 00 1F 01 00 AC");
        // Each set (even) and release (odd) button, clicked twice, for its own pair.
        const char* pairs[8] = {"20 02 02 01", "20 02 00 00", "22 02 08 04", "22 02 00 00",
                                "24 02 20 10", "24 02 00 00", "26 02 80 40", "26 02 00 00"};
        for (int i = 0; i < 8; ++i)
            row(qPrintable(QStringLiteral("S1_%1").arg(i)),
                qPrintable(QStringLiteral("Option1_0 S1_%1 S1_%1").arg(i)), 2,
                qPrintable(QStringLiteral("CA 20 01 CC 05 00 %1 AC").arg(pairs[i])));
        // Choosing a series sends nothing; hidden boxes keep their ticks, and polling goes on.
        row("series QX", "Option1_0 Option1_0 S1_7", 1, "CA 20 01 CC 05 00 26 02 00 00 AC",
            "-------- 1100000+");
        row("ticks kept", "Fusuo_3 Option1_0 Option1_1 Fusuo_0", 2, "CA 20 01 CC 04 00 1F 01 09 AC",
            "-------- 0011111-");
        row("polling", "Checktest Option1_0 wait2500 S1_0", 3, "CA 20 01 CC 05 00 20 02 02 01 AC");
        row("lock", "Command25_1 Command25_1", 2, "CA 20 01 CF 01 00 44", "-------- 0011111-");
        row("classic unlock", "classic Command25_0", 1, "CA 20 01 CF 01 01 43");
        row("lock broadcast", "Check2 Command25_1", 1, "CA 20 FE CF 01 00 47");
        row("broadcast off keeps 1F", "IDCombo_1=31 Check2 Check2 Command25_1", 1,
            "CA 20 1F CF 01 00 26");
        row("address 1A", "IDCombo_0=26 ~IDCombo_0 IDset", 1, "CA 20 FE CC 04 00 10 01 1A AC");
        row("address FF from 5", "IDCombo_1=5 IDCombo_0=255 IDset", 1,
            "CA 20 FE CC 04 00 10 01 FF AC");
        row("others still to 5", "IDCombo_1=5 ~IDCombo_1 IDset Command25_1", 2,
            "CA 20 05 CF 01 00 40");
        row("address on unplugged COM1", "hangup wait100 IDset", 0, "CA 20 FE CC 04 00 10 01 01 AC",
            "", "COM 1 被占用或损坏!|CA 20 FE CC 04 00 10 01 01 AC ");
        const QString none = QStringLiteral("|未选择设备ID，本次操作没有发送。");
        row("no address selected",
            "IDCombo_0=-1 IDset IDCombo_1=-1 Fusuo_0 port_0 kj_ID_1 Option1_0 S1_0 Command25_0", 0,
            "", "",
            "未选择新的设备ID，本次操作没有发送。" + none.repeated(5) +
                "|设置ID，互锁，延时时间等功能后请重启设备！！\n");
    }
    void frames() {
        QFETCH(QString, actions);
        QFETCH(int, count);
        QFETCH(QString, frame);
        QFETCH(QString, seen);
        QFETCH(QString, state);
        Console c(actions.startsWith("classic"));
        QVERIFY(c.pty.waitForFrames(2, 2000)); // the start-up queries
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.pty.clear();
        const QStringList all = QString(actions).remove("classic ").split(' ');
        act(c, all.mid(0, all.size() - 1));
        const DataDisplay& display = c.window->display();
        // The full program's key-lock echo starts from "1", the others from the empty text.
        const bool one = frame.mid(9, 2) == "CF" && !actions.startsWith("classic");
        const bool red = (display.changeCounter() + (frame.size() + 1) / 3 + 1 + one) % 2;
        const qint64 clickedAt = c.pty.now();
        act(c, {all.last()});
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), count);
        if (count) { // the address setting writes at once, the others after their 100 ms wait
            QCOMPARE(QString(frames.last().bytes.toHex(' ').toUpper()), frame);
            const qint64 wait = frames.last().atMs - clickedAt;
            QVERIFY2(all.last() == "IDset" ? wait < 90 : wait >= 100 && wait < 200,
                     qPrintable(QString::number(wait)));
        }
        QCOMPARE((c.messageTexts() << display.text()).join('|'),
                 seen.isNull() ? frame + ' ' : seen);
        if (seen.isNull())
            QCOMPARE(display.textColor(), red ? QColor(Qt::red) : QColor(Qt::black));
        for (const auto& m : std::as_const(c.messages))
            QCOMPARE(m.title, appTitle());
        // Ticking broadcast disables the address list; unticking enables it again.
        QCOMPARE(c.find<QComboBox>("IDCombo_1")->isEnabled(), all.count("Check2") % 2 == 0);
        const QColor face = c.window->palette().color(QPalette::Button);
        const QHash<QChar, QColor> colours{
            {'r', Qt::red}, {'b', Qt::black}, {'w', Qt::white}, {'-', face}};
        QString now;
        for (int i = 0; i < 8; ++i) { // the colour shown beside the indicator
            auto* box = c.find<QCheckBox>(QStringLiteral("port_%1").arg(i));
            const QChar letter = colours.key(
                box->grab().toImage().pixelColor(box->width() - 1, box->height() / 2), '?');
            now += box->isChecked() ? letter.toUpper() : letter;
            QCOMPARE(box->isEnabled(), letter != 'w');
        }
        now += ' ';
        for (const char* name :
             {"S1_0", "S1_7", "Fusuo_0", "Fusuo_3", "Frame6", "TestButton", "Checktest"})
            now += QString::number(c.find<QWidget>(name)->isVisibleTo(c.window.get()));
        now += c.button("Command5")->isEnabled() ? '+' : '-';
        QCOMPARE(now.left(state.size()), state);
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
