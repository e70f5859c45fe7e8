// The delay table on a real pseudo-terminal: the column frames and their echo, the overflow
// message, the frame double-click, the numeric filter on typing and pasting, the spin controls.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QToolButton>

#include "support/fixture.h"
#include "toolkit/datadisplay.h"
#include "toolkit/spinbutton.h"

using namespace vesk;

class TestDelayTable : public QObject {
    Q_OBJECT
    static auto* box(Console& c, int i) { return c.find<QLineEdit>(QString("Text1_%1").arg(i)); }

private slots:
    // The first box, the values put in from there on, and the frame or the message (text, title).
    void send_data() {
        QTest::addColumn<QStringList>("boxes");
        auto row = [](const char* name, QStringList boxes) { QTest::newRow(name) << boxes; };
        row("on",
            {"0", "CA 20 01 CC 13 00 30 10 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 AC"});
        row("classic off",
            {"8", "CA 20 01 CC 13 00 40 10 08 00 07 00 06 00 05 00 04 00 03 00 02 00 01 00 AC"});
        row("base 255",
            {"0", "255", "256", "300", "510", "65279", "", "2.5", "3.5",
             "CA 20 01 CC 13 00 30 10 FF 00 01 01 2D 01 00 02 FE FF 00 00 02 00 04 00 AC"});
        row("rounding, exponent",
            {"8", "0", "8", "3600", "65025", "1e3", "0.5", "1.5", "65278.5",
             "CA 20 01 CC 13 00 40 10 00 00 08 00 1E 0E 00 FF EB 03 00 00 02 00 FD FF AC"});
        row("first of two", {"1", "99999", "1", "70000", "第2文本框数据溢出！！ VESK-QX"});
        row("off channel 1", {"8", "65280", "第8文本框数据溢出！！ VESK-5200"});
        row("off channel 8", {"15", "70000", "第15文本框数据溢出！！ VESK-5200"});
    }
    // A double-click on the frame's background (not on a label) refills boxes at 42. On-delays go
    // out twice, before the wait and after the echo; the echo starts from "1" (classic: "").
    void send() {
        QFETCH(QStringList, boxes);
        const int first = boxes.takeFirst().toInt();
        const QString expected = boxes.takeLast();
        const bool classic = QByteArray(QTest::currentDataTag()).startsWith("classic");
        Console c(classic);
        QVERIFY(c.pty.waitForFrames(2, 2000));
        c.find<QAbstractButton>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(1);
        c.pty.clear();
        for (int i = 0; i < 16; ++i)
            box(c, i)->setText(QStringLiteral("42"));
        QTest::mouseDClick(c.find<QWidget>("Frame5"), Qt::LeftButton, {}, QPoint(3, 100));
        for (int k = 0; k < boxes.size(); ++k)
            box(c, first + k)->setText(boxes[k]);
        QTest::mouseDClick(c.find<QWidget>("Label18"), Qt::LeftButton);
        const DataDisplay& display = c.window->display();
        const auto state = [&] { return display.text() + display.textColor().name(); };
        const bool refused = !expected.startsWith("CA");
        const bool red = (display.changeCounter() + (classic ? 26 : 27)) % 2;
        const QString echo = refused ? state() : expected + (red ? " #ff0000" : " #000000");
        QPushButton* send = c.button(first < 8 ? "Command1" : "Command2");
        QTest::mousePress(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), QColor(255, 210, 180)); // while held
        QTest::mouseRelease(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), toolkit::buttonFace());
        QVERIFY(c.settle());
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), refused ? 0 : first < 8 ? 2 : 1);
        for (const Received& r : frames)
            QCOMPARE(QString(r.bytes.toHex(' ').toUpper()), expected);
        const qint64 gap = frames.size() < 2 ? 100 : frames[1].atMs - frames[0].atMs;
        QVERIFY2(gap >= 100 && gap <= 200, qPrintable(QString::number(gap)));
        QCOMPARE(state(), echo);
        const Message m = c.messages.value(0);
        QCOMPARE(c.messages.size(), int(refused));
        QCOMPARE(m.text + m.title, refused ? expected : QString());
        QVERIFY(!refused || (m.icon == Icon::None && m.buttons == Buttons::Ok));
    }
    // Before, action, after: typing or pasting into box 5, or a spin step on box n, with "|" for
    // the caret. The second step comes with the channel off, which disables its spin controls.
    void editing_data() {
        QTest::addColumn<QStringList>("edit");
        auto row = [](const char* name, QStringList edit) { QTest::newRow(name) << edit; };
        row("letters between", {"|", "type 1a2b", "12|"});
        row("minus in front", {"|5", "type -", "-|5"});
        row("paste 12a34", {"|", "paste 12a34", "12|"});
        row("paste in middle", {"1|5", "paste x7", "1|5"});
        row("up on channel 4", {"7|", "up 3", "8|"});
        row("down to the top, off channel 5", {"1|", "down 12", "65279|"});
    }
    void editing() {
        QFETCH(QStringList, edit);
        Console c(false, false);
        const QString verb = edit[1].section(' ', 0, 0), arg = edit[1].section(' ', 1);
        QLineEdit* line = box(c, verb == "up" || verb == "down" ? arg.toInt() : 4);
        line->setText(QString(edit[0]).remove('|'));
        line->setCursorPosition(edit[0].indexOf('|'));
        if (verb == "type") {
            QTest::keyClicks(line, arg);
        } else if (verb == "paste") {
            QGuiApplication::clipboard()->setText(arg);
            line->paste();
        } else {
            auto* spin = c.find<SpinButton>("SpinButton1_" + arg);
            QToolButton* arrow = verb == "up" ? spin->upArrow() : spin->downArrow();
            QTest::mouseClick(arrow, Qt::LeftButton);
            c.button(QStringLiteral("Check1_%1").arg(arg.toInt() % 8))->click();
            QTest::mouseClick(arrow, Qt::LeftButton);
        }
        QCOMPARE(line->text(), QString(edit[2]).remove('|'));
        QCOMPARE(line->cursorPosition(), edit[2].indexOf('|'));
    }
    void heldArrowRepeats() {
        Console c(false, false);
        box(c, 0)->setText(QStringLiteral("10"));
        QToolButton* arrow = c.find<SpinButton>("SpinButton1_0")->upArrow();
        QTest::mousePress(arrow, Qt::LeftButton);
        QCOMPARE(box(c, 0)->text(), QStringLiteral("11")); // the press itself steps
        QTest::qWait(1000);
        QTest::mouseRelease(arrow, Qt::LeftButton);
        const int reached = box(c, 0)->text().toInt();
        QVERIFY2(reached >= 12 && reached <= 21, qPrintable(QString::number(reached)));
        QTest::qWait(300);
        QCOMPARE(box(c, 0)->text().toInt(), reached);
    }
};

QTEST_MAIN(TestDelayTable)
#include "tst_delaytable.moc"
