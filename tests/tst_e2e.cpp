// The consoles against the simulated controller: both programs' start-up on the wire, and what the
// operator sets in the configuration areas is what the controller holds, with the interlocks
// written showing in the channel lamps.
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

#include "app/language.h"
#include "core/devicelink.h"
#include "core/serialport.h"
#include "core/statusquery.h"
#include "support/fixture.h"
#include "support/simprocess.h"
#include "toolkit/datadisplay.h"
#include "toolkit/toolkit.h"

using namespace vesk;

namespace {

void tick(const Console& c, QAbstractButton* b) {
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    QTRY_VERIFY(c.waits.pending() == 0);
}

// The channel mask the lamps show: bit k set while Command_CPort_k is red.
int lampMask(const Console& c) {
    int mask = 0;
    for (int k = 0; k < 8; ++k)
        if (toolkit::faceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k))) == Qt::red)
            mask |= 1 << k;
    return mask;
}

} // namespace

class TestE2E : public QObject {
    Q_OBJECT
private slots:
    void startUpQueriesTheController_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("veskpanel") << QStringLiteral(VESKPANEL_BIN);
        QTest::newRow("veskpanel-classic") << QStringLiteral(VESKPANEL_CLASSIC_BIN);
    }
    void startUpQueriesTheController() {
        QFETCH(QString, program);
        SimProcess sim;
        QVERIFY(sim.isRunning());

        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESKPANEL_COM1"), sim.ptyPath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        console.setProcessEnvironment(env);
        console.start(program, {});
        QVERIFY(console.waitForStarted(5000));

        QVERIFY(sim.waitForReceived(2, 10000));
        QTest::qWait(300);
        const auto frames = sim.received();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].hex, QStringLiteral("CA 20 FE 20 01 01 F5"));
        QCOMPARE(frames[1].hex, QStringLiteral("CA 20 FE 20 01 01 F5"));
        // 100 ms apart, as the simulator's clock sees them arrive (a few ms either way).
        const qint64 gap = frames[0].at.msecsTo(frames[1].at);
        QVERIFY2(gap >= 90 && gap <= 160, qPrintable(QString::number(gap)));
        // The simulator answered both queries; nothing it received was malformed.
        QCOMPARE(sim.state().value(QStringLiteral("malformed")).toInt(), 0);

        console.terminate();
        QVERIFY(console.waitForFinished(5000));
    }
    void settingsReachTheController() {
        SimProcess sim;
        QVERIFY2(sim.isRunning(), "vesk-sim did not start ($VESKSIM)");
        Console c(false, false);
        c.window->port().setLocationFor(1, *parsePortLocation(sim.ptyPath()));
        c.window->startUp();
        QVERIFY(c.settle());
        QVERIFY(c.messages.isEmpty());
        const int queries = 2;

        // Address 26 for the next restart, written through broadcast.
        c.find<QComboBox>("IDCombo_0")->setCurrentIndex(0x1A);
        tick(c, c.button("IDset"));
        // From here on to address 1 only: pairs 1-2 and 7-8 by mask.
        c.find<QCheckBox>("Check2")->setChecked(false);
        tick(c, c.find<QCheckBox>("Fusuo_0"));
        tick(c, c.find<QCheckBox>("Fusuo_3"));
        tick(c, c.find<QCheckBox>("Fusuo_1"));
        tick(c, c.find<QCheckBox>("Fusuo_1"));
        // Pair 3-4 set, pair 5-6 set and released, with the QX buttons.
        tick(c, c.find<QRadioButton>("Option1_0"));
        for (int i : {2, 4, 5})
            tick(c, c.button(QStringLiteral("S1_%1").arg(i)));
        // Power-on to the user-defined state 1, 3 and 8.
        tick(c, c.find<QRadioButton>("Option1_1"));
        tick(c, c.find<QRadioButton>("kj_ID_0"));
        tick(c, c.find<QRadioButton>("kj_ID_1"));
        for (int i : {0, 2, 7})
            tick(c, c.find<QCheckBox>(QStringLiteral("port_%1").arg(i)));
        tick(c, c.button("Command25_0"));
        tick(c, c.button("Command25_1"));
        QVERIFY(sim.waitForReceived(queries + 15, 3000));
        QCOMPARE(sim.received().size(), queries + 15);

        const QJsonObject held = sim.state();
        const QJsonObject expected{{"address", 1},
                                   {"pendingAddress", 0x1A},
                                   {"interlockPairs", 0x09},
                                   {"powerOnMode", 0x00},
                                   {"stateMask", 0x85},
                                   {"keysLocked", true},
                                   {"channels", 0},
                                   {"malformed", 0},
                                   {"ignored", 0},
                                   {"pairParams", QJsonObject{{"0x20", QJsonArray{0, 0}},
                                                              {"0x22", QJsonArray{8, 4}},
                                                              {"0x24", QJsonArray{0, 0}},
                                                              {"0x26", QJsonArray{0, 0}}}}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(held.value(it.key()) == it.value(), qPrintable(it.key()));

        // Switching both channels of each pair on: the interlocked pairs keep only the channel
        // switched last, the released pair keeps both.
        for (int k : {0, 1, 2, 3, 4, 5})
            tick(c, c.button(QStringLiteral("Command_CPort_%1").arg(k)));
        QTRY_COMPARE_WITH_TIMEOUT(lampMask(c), 0x3A, 1500);
        QCOMPARE(sim.state().value("channels").toInt(), 0x3A);

        // After a restart the controller answers at its new address with its power-on state.
        sim.command("restart");
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(0x1A);
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lampMask(c), 0x85, 1500);
        QCOMPARE(sim.state().value("address").toInt(), 0x1A);
        QVERIFY(c.messages.isEmpty());
    }

    // Three controllers on one line: controller 2's reply lights its lamp; the overlaid replies
    // to a broadcast query are shown with the note and leave the lamps as they were.
    void threeControllersOnOneLine() {
        SimProcess sim({"--address", "1-3"});
        Console c(false, false);
        c.window->port().setLocationFor(1, *parsePortLocation(sim.ptyPath()));
        c.window->startUp();
        const QString note = QStringLiteral("（不是状态应答，指示灯未变）");
        QTRY_VERIFY(c.window->display().text().endsWith(note)); // the start-up broadcast query
        QVERIFY(c.settle());
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(2);
        tick(c, c.button("Command_CPort_2"));
        QTRY_COMPARE_WITH_TIMEOUT(lampMask(c), 0x04, 1500);
        QCOMPARE(c.window->display().text(), QStringLiteral("设备返回：CA 20 02 20 04 EF "));
        c.find<QCheckBox>("Check2")->setChecked(true);
        tick(c, c.button("TestButton"));
        QTRY_VERIFY(c.window->display().text().endsWith(note));
        QTest::qWait(700); // longer than a valid reply takes to colour all lamps
        QCOMPARE(lampMask(c), 0x04);
    }

    // A muted controller: after a query, COM1's tooltip and the lamps' description tell the time
    // of its last answer and that none came since; the data display keeps the last reply. Its
    // next valid reply clears both.
    void silenceIsVisible_data() {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("silent"); // %1: the time of the last answer
        QTest::newRow("zh") << Language::Chinese << "已打开，设备已应答"
                            << "已打开；最后一次应答 %1，之后无应答";
        QTest::newRow("en") << Language::English << "open, the device has answered"
                            << "open; last answer %1, none since";
    }
    void silenceIsVisible() {
        QFETCH(Language, language);
        QFETCH(QString, answered);
        QFETCH(QString, silent);
        useLanguage(*qApp, language);
        SimProcess sim;
        Console c(false, false);
        c.window->port().setLocationFor(1, *parsePortLocation(sim.ptyPath()));
        c.window->startUp();
        QPushButton* com1 = c.button("COM_0");
        QWidget* lamp = c.button("Command_CPort_0");
        const QString lampText = lamp->accessibleDescription();
        QTRY_COMPARE(com1->toolTip().section('\n', -1), answered);
        QVERIFY(c.settle());
        const QString last = c.window->statusQuery().lastAnswer().toString("HH:mm:ss");
        sim.command("mute 1 on");
        QTest::qWait(1100); // the time shown is the last answer's, not the query's
        const QString shown = c.window->display().text();
        tick(c, c.button("TestButton"));
        QTRY_COMPARE_WITH_TIMEOUT(com1->toolTip().section('\n', -1), silent.arg(last), 2000);
        QVERIFY(lamp->accessibleDescription().startsWith(lampText));
        QVERIFY(lamp->accessibleDescription().contains(last));
        QCOMPARE(c.window->display().text(), shown);

        sim.command("mute 1 off");
        tick(c, c.button("TestButton"));
        QTRY_COMPARE(com1->toolTip().section('\n', -1), answered);
        QCOMPARE(lamp->accessibleDescription(), lampText);
        useLanguage(*qApp, Language::Chinese);
    }
};

QTEST_MAIN(TestE2E)
#include "tst_e2e.moc"
