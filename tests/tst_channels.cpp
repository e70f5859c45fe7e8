// The channel switching areas on a real pseudo-terminal: switch, channel state and multi-channel
// frames, the status query after them, the timed all-on/off hold, the full-program-only area.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QSignalSpy>
#include <QTimer>

#include "core/frames.h"
#include "support/fixture.h"
#include "toolkit/datadisplay.h"

using namespace vesk;

class TestChannels : public QObject {
    Q_OBJECT
    inline static const QColor Red{255, 0, 0};
    static QString hex(const QByteArray& bytes) { return QString(bytes.toHex(' ').toUpper()); }
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // Waits out the start-up query, addresses controller 1 and forgets the frames.
    static void ready(Console& c) {
        QVERIFY(c.pty.waitForFrames(2, 2000));
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(1);
        c.pty.clear();
    }

private slots:
    // Operator actions from address 1 ("classic": in the classic program): "name" clicks a
    // control, "name=n" selects entry n of a list, "name_1,3" clicks name_1 and name_3.
    void sends_data() {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("settleMs"); // before the status query; -1: none follows
        auto row = [](const char* name, const char* actions, const char* frame, int settleMs) {
            QTest::newRow(name) << QString(actions) << frame << settleMs;
        };
        row("3 on", "Command_CPort_2", "CA 20 01 18 02 03 01 F6", 500);
        row("8 off", "Command_CPort_15", "CA 20 01 18 02 08 00 F2", 500);
        row("broadcast 1 on", "Check2 Command_CPort_0", "CA 20 FE 18 02 01 01 FB", 500);
        row("address 0", "IDCombo_1=0 Command_CPort_0", "CA 20 00 18 02 01 01 F9", 500);
        row("classic 3 on", "classic Command_CPort_2", "CA 20 01 18 02 03 01 F6", 1000);
        // Toggling sends nothing; Command5 is reachable under the QX series.
        row("off 2, 8, toggled twice, broadcast", "Check2 Check1_1,7,3,3 Option1_0 Command5",
            "CA 20 FE CC 04 00 11 01 7D AC", -1);
        row("1, 3 on, 15 min", "PCheck_1,3,4,5,6,7 MinteCombo=1 HourCombo=15 Command4",
            "CA 20 01 19 03 05 05 8F 5F", 500);
        row("2 out, 8 off", "PCheck_1 PortCheck_7 Command4", "CA 20 01 19 03 FD 7D 00 7E", 500);
        row("15 h", "MinteCombo=2 HourCombo=15 Command4", "CA 20 01 19 03 FF FF CF 2B", 500);
    }
    // The frame on the wire and as the echo, the status query after the settling wait and its own
    // 100 ms; the channel toggles' captions, colours and spin controls.
    void sends() {
        QFETCH(QString, actions);
        QFETCH(QString, frame);
        QFETCH(int, settleMs);
        Console c(actions.startsWith("classic"));
        ready(c);
        const DataDisplay& display = c.window->display();
        // The multi-channel echo starts from "1", the others from the empty text.
        const int changes = display.changeCounter() + int(frame.size() + 1) / 3 +
                            (actions.endsWith("Command4") ? 2 : 1);
        QStringList steps;
        for (const QString& token : QString(actions).remove("classic ").split(' ')) {
            const qsizetype cut = token.lastIndexOf('_') + 1;
            for (const QString& i : token.mid(cut).split(','))
                steps << token.left(cut) + i;
        }
        for (const QString& a : steps) {
            if (a.contains('=')) { // the operator's choice from the list
                auto* list = c.find<QComboBox>(a.section('=', 0, 0));
                list->setCurrentIndex(a.section('=', 1).toInt());
                emit list->activated(list->currentIndex());
            } else if (auto* w = c.find<QAbstractButton>(a); qobject_cast<QPushButton*>(w))
                click(w);
            else // check boxes and options on their indicator
                QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
        }
        QVERIFY(c.settle());
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), settleMs < 0 ? 1 : 3);
        QCOMPARE(hex(frames[0].bytes), frame);
        QCOMPARE(display.text(), frame + ' ');
        QCOMPARE(display.textColor(), changes % 2 ? Red : QColor(Qt::black));
        if (settleMs >= 0) {
            const QString address = frame.mid(6, 2);
            const QHash<QString, QString> sum{{"01", "F2"}, {"FE", "F5"}, {"00", "F3"}};
            for (int k : {1, 2})
                QCOMPARE(hex(frames[k].bytes),
                         QStringLiteral("CA 20 %1 20 01 01 %2").arg(address, sum[address]));
            const qint64 gap = frames[1].atMs - frames[0].atMs - settleMs;
            QVERIFY2(gap >= 100 && gap <= 200, qPrintable(QString::number(gap)));
        }
        for (int r = 0; r < 8; ++r) {
            const bool off = steps.count(QStringLiteral("Check1_%1").arg(r)) % 2;
            QPushButton* toggle = c.button(QStringLiteral("Check1_%1").arg(r));
            QCOMPARE(toggle->text(), QString::fromUtf8(off ? "关 闭" : "开 启"));
            QCOMPARE(toolkit::textColor(toggle), off ? Qt::black : QColor(255, 0, 255));
            for (int i : {r, r + 8})
                QCOMPARE(c.find<QWidget>(QString("SpinButton1_%1").arg(i))->isEnabled(), !off);
        }
    }

    // The all-on button rests nine seconds, then one status query follows. Meanwhile the all-off
    // button, a switch click and a reply are handled; closing the window ends the other hold.
    void timedAllHold() {
        Console c;
        ready(c);
        QPushButton *on = c.button("Command3_0"), *off = c.button("Command3_1");
        QCOMPARE(on->font().pointSize(), 12);
        QStringList seen; // at 400, 800 and 3200 ms: the display and the enabled buttons
        const auto look = [&](QPushButton* then) {
            seen << c.window->display().text() + (on->isEnabled() ? "on" : "") +
                        (off->isEnabled() ? "off" : "");
            if (then)
                click(then);
        };
        qint64 enabledAt = -1;
        QTimer sampler;
        sampler.callOnTimeout([&] {
            if (enabledAt < 0 && on->isEnabled() && !seen.isEmpty())
                enabledAt = c.pty.now();
        });
        sampler.start(5);
        click(on);
        QTimer::singleShot(400, c.window.get(), [&] { look(off); });
        QTimer::singleShot(800, c.window.get(), [&] { look(c.button("Command_CPort_4")); });
        QTimer::singleShot(2500, c.window.get(),
                           [&] { c.pty.writeAtLineSpeed(hexBytes("CA 20 01 20 05 EF")); });
        QTimer::singleShot(3200, c.window.get(), [&] { look(nullptr); });
        QTRY_VERIFY_WITH_TIMEOUT(c.pty.frames().size() == 7, 11000);
        QVERIFY(!off->isEnabled());
        c.window->close();
        QTRY_VERIFY_WITH_TIMEOUT(c.waits.closing(), 2000);
        QCOMPARE(c.waits.pending(), 0);
        clearExitRequest();
        QCOMPARE(seen, (QStringList{"CA 20 01 19 03 FF FF 01 F9 off", "CA 20 01 19 03 FF 00 02 F7 ",
                                    "设备返回：CA 20 01 20 05 EF "}));
        const auto frames = c.pty.frames();
        const QStringList expected{"CA 20 01 19 03 FF FF 01 F9", "CA 20 01 19 03 FF 00 02 F7",
                                   "CA 20 01 18 02 05 01 F4"};
        for (int k = 0; k < 7; ++k)
            QCOMPARE(hex(frames[k].bytes), expected.value(k, "CA 20 01 20 01 01 F2"));
        const qint64 held = enabledAt - frames[0].atMs, queryAfter = frames[5].atMs - enabledAt;
        QVERIFY2(held >= 8990 && held <= 9400, qPrintable(QString::number(held)));
        QVERIFY2(queryAfter >= 90 && queryAfter <= 300, qPrintable(QString::number(queryAfter)));
    }

    // What the operator sees of a lamp, and of a button's colour while it is held: the colour flat
    // up to the frame and nothing of it outside; a dark lamp looks like any other button.
    void faces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("face"); // invalid: the normal face, after the lamp was lit
        QTest::newRow("lit lamp") << "Command_CPort_2" << Red;
        QTest::newRow("dark lamp") << "Command_CPort_2" << QColor();
        QTest::newRow("state button held") << "Command5" << QColor(250, 210, 180);
    }
    void faces() {
        QFETCH(QString, name);
        QFETCH(QColor, face);
        Console c;
        c.window->show();
        QPushButton* button = c.button(name);
        button->setEnabled(true);
        button->setFocusPolicy(Qt::NoFocus); // a focus frame would differ from the plain button's
        QWidget* frame = button->parentWidget();
        const auto shot = [&] { return frame->grab(button->geometry()).toImage(); };
        const bool held = name == "Command5";
        QPushButton plain(button->text(), frame); // never coloured, in the same place and state
        plain.setGeometry(button->geometry());
        plain.setDown(held);
        button->hide();
        plain.show();
        const QImage normal = shot();
        plain.hide();
        button->show();
        if (held) {
            QTest::mousePress(button, Qt::LeftButton);
        } else {
            toolkit::setFaceColor(button, Red);
            toolkit::setFaceColor(button, face.isValid() ? face : toolkit::buttonFace());
        }
        const QImage image = shot();
        const int w = image.width(), h = image.height();
        if (!face.isValid())
            QCOMPARE(image, normal);
        for (const QPoint p : {QPoint(w / 2, 1), QPoint(w / 2, 3), QPoint(2, h / 2),
                               QPoint(w - 3, h / 2), QPoint(w / 2, h - 3)})
            QCOMPARE(image.pixelColor(p), face.isValid() ? face : normal.pixelColor(p));
        // The frame and the corners outside it as on every button.
        for (const QPoint p :
             {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(w - 1, 0), QPoint(0, h - 1),
              QPoint(w - 1, h - 1), QPoint(w / 2, 0), QPoint(0, h / 2)})
            QCOMPARE(image.pixelColor(p), normal.pixelColor(p));
    }

    // The multi-channel area's controls, and its absence from the classic program.
    void multiChannelControls() {
        Console c;
        auto* selector = c.button("PCheck_1");
        auto* state = c.find<QCheckBox>("PortCheck_1");
        auto* units = c.find<QComboBox>("MinteCombo");
        auto* numbers = c.find<QComboBox>("HourCombo");
        QCOMPARE(toolkit::textColor(c.find<QWidget>("Frame7")), QColor(0, 192, 0));
        QCOMPARE(toolkit::textColor(selector), Red);
        QCOMPARE(toolkit::faceColor(selector), QColor(255, 255, 0));
        QVERIFY(selector->font().bold() && !units->isEditable() && !numbers->isEditable());
        // The bold captions are the regular Song face emboldened, not a second face of their own.
        const QFontInfo bold(selector->font()), regular(toolkit::songti(9));
        QCOMPARE(bold.family() + bold.styleName(), regular.family() + regular.styleName());
        QVERIFY(bold.bold());
        QCOMPARE(units->currentText() + numbers->currentText(), QStringLiteral("秒钟0"));
        for (bool leftOut : {true, false}) {
            click(selector);
            QCOMPARE(selector->text(), QString::fromUtf8(leftOut ? "" : "2"));
            QCOMPARE(state->isEnabled(), !leftOut);
            QCOMPARE(state->isChecked(), !leftOut);
            QCOMPARE(state->text(), QString::fromUtf8(leftOut ? "关" : "开"));
            QCOMPARE(toolkit::textColor(state), leftOut ? Qt::black : Red);
        }
        // Each choice of a unit refills the numbers once and resets the number.
        QSignalSpy refills(numbers->model(), &QAbstractItemModel::rowsRemoved);
        QTest::keyClick(units, Qt::Key_End);
        QCOMPARE(numbers->count(), 16);
        numbers->setCurrentIndex(9);
        QTest::keyClick(units, Qt::Key_Up);
        QCOMPARE(numbers->count(), 60);
        QCOMPARE(numbers->currentIndex(), 0);
        numbers->setCurrentIndex(30);
        emit units->activated(1); // picking the unit already shown from the list
        QCOMPARE(numbers->currentIndex(), 0);
        QCOMPARE(refills.count(), 3);
        QVERIFY(c.settle());
        Console classic(true);
        for (const char* name : {"Frame7", "PCheck_0", "PortCheck_0", "HourCombo", "Command4"})
            QVERIFY2(!classic.find<QWidget>(name), name);
        const QString caption = QStringLiteral("多端口操作区");
        const QByteArray utf16(reinterpret_cast<const char*>(caption.utf16()), caption.size() * 2);
        for (const auto& [path, has] :
             {std::pair(VESK_FULL_BIN, true), {VESK_CLASSIC_BIN, false}}) {
            QFile file(QString::fromLocal8Bit(path));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray binary = file.readAll();
            QCOMPARE(binary.contains(caption.toUtf8()) || binary.contains(utf16), has);
        }
    }
};

QTEST_MAIN(TestChannels)
#include "tst_channels.moc"
