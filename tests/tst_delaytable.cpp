// The delay table on a real pseudo-terminal: the column frames, their writes and echo, the overflow
// message, the frame double-click, the numeric filter on typing and pasting, and the spin controls.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QToolButton>

#include "channels/spinbutton.h"
#include "link/datadisplay.h"
#include "link/frame.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

QLineEdit* box(const Console& c, int i) {
    return c.find<QLineEdit>(QStringLiteral("Text1_%1").arg(i));
}
SpinButton* spin(const Console& c, int i) {
    return c.find<SpinButton>(QStringLiteral("SpinButton1_%1").arg(i));
}
QStringList texts(const Console& c) {
    QStringList all;
    for (int i = 0; i < 16; ++i)
        all << box(c, i)->text();
    return all;
}
// Waits out the start-up query, addresses controller 1, puts `values` into boxes from `first` on,
// and forgets the frames so far.
void prepare(Console& c, int first, const QStringList& values) {
    QVERIFY(c.pty.waitForFrames(2, 2000));
    c.find<QCheckBox>("Check2")->setChecked(false);
    c.find<QComboBox>("IDCombo_1")->setCurrentIndex(1);
    for (int k = 0; k < values.size(); ++k)
        box(c, first + k)->setText(values[k]);
    c.pty.clear();
}

} // namespace

class TestDelayTable : public QObject {
    Q_OBJECT
private slots:
    void columnFrames_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("values"); // none: the initial values
        QTest::addColumn<QString>("frame");
        const char* on =
            "CA 20 01 CC 13 00 30 10 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 AC";
        const char* off =
            "CA 20 01 CC 13 00 40 10 08 00 07 00 06 00 05 00 04 00 03 00 02 00 01 00 AC";
        QTest::newRow("on") << false << 0 << QStringList() << on;
        QTest::newRow("off") << false << 1 << QStringList() << off;
        QTest::newRow("classic on") << true << 0 << QStringList() << on;
        QTest::newRow("classic off") << true << 1 << QStringList() << off;
        QTest::newRow("base 255")
            << false << 0 << QStringList{"255", "256", "300", "510", "65279", "", "2.5", "3.5"}
            << "CA 20 01 CC 13 00 30 10 FF 00 01 01 2D 01 00 02 FE FF 00 00 02 00 04 00 AC";
        QTest::newRow("rounding, exponent")
            << false << 1 << QStringList{"0", "8", "3600", "65025", "1e3", "0.5", "1.5", "65278.5"}
            << "CA 20 01 CC 13 00 40 10 00 00 08 00 1E 0E 00 FF EB 03 00 00 02 00 FD FF AC";
    }
    // The on-delays go out twice (before the wait and after the echo), the off-delays once. The
    // full program's echo starts from "1" (27 changes of the display), the classic one from the
    // empty text (26), which the display's alternating colour tells apart.
    void columnFrames() {
        QFETCH(bool, classic);
        QFETCH(int, column);
        QFETCH(QStringList, values);
        QFETCH(QString, frame);
        Console c(classic);
        prepare(c, 8 * column, values);
        DataDisplay& display = c.window->display();
        const int changes = (classic ? 26 : 27) + display.changeCounter();
        QPushButton* send = c.button(column == 0 ? "Command1" : "Command2");
        QTest::mousePress(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), QColor(255, 210, 180)); // while held
        QTest::mouseRelease(send, Qt::LeftButton);
        QCOMPARE(toolkit::faceColor(send), toolkit::buttonFace());
        QTest::qWait(200);
        const auto frames = c.pty.frames();
        QCOMPARE(frames.size(), column == 0 ? 2 : 1);
        for (const Received& r : frames)
            QCOMPARE(hexText(r.bytes), frame + ' ');
        const qint64 gap = frames.last().atMs - frames.first().atMs;
        QVERIFY2(column == 1 || (gap >= 100 && gap <= 160), qPrintable(QString::number(gap)));
        QCOMPARE(display.text(), frame + ' ');
        QCOMPARE(display.textColor(), changes % 2 ? QColor(255, 0, 0) : QColor(Qt::black));
        QVERIFY(c.messages.isEmpty());
    }

    void overflow_data() {
        QTest::addColumn<int>("first"); // the box where `values` start
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("title");
        QTest::newRow("on channel 3") << 2 << QStringList{"65280"} << 3 << "VESK-QX";
        QTest::newRow("off channel 1") << 8 << QStringList{"65280"} << 8 << "VESK-5200";
        QTest::newRow("off channel 8") << 15 << QStringList{"70000"} << 15 << "VESK-5200";
        QTest::newRow("first of two") << 1 << QStringList{"99999", "1", "70000"} << 2 << "VESK-QX";
        QTest::newRow("negative") << 0 << QStringList{"-5"} << 1 << "VESK-QX";
        QTest::newRow("beyond int") << 12 << QStringList{"99999999999"} << 12 << "VESK-5200";
        QTest::newRow("rounds above") << 7 << QStringList{"65279.5"} << 8 << "VESK-QX";
    }
    // Only the first offending box is named; nothing is written and the display keeps its text.
    void overflow() {
        QFETCH(int, first);
        QFETCH(QStringList, values);
        QFETCH(int, number);
        QFETCH(QString, title);
        Console c;
        prepare(c, first, values);
        const QString shown = c.window->display().text();
        QTest::mouseClick(c.button(first < 8 ? "Command1" : "Command2"), Qt::LeftButton);
        QCOMPARE(c.messages.size(), 1);
        QCOMPARE(c.messages[0].text, QStringLiteral("第%1文本框数据溢出！！ ").arg(number));
        QCOMPARE(c.messages[0].title, title);
        QCOMPARE(c.messages[0].icon, toolkit::Icon::None);
        QCOMPARE(c.messages[0].buttons, toolkit::Buttons::Ok);
        QTest::qWait(200);
        QVERIFY(c.pty.allBytes().isEmpty());
        QCOMPARE(c.window->display().text(), shown);
    }

    void doubleClickRefills() {
        Console c;
        prepare(c, 0, QStringList(16, QStringLiteral("42")));
        // A double-click that a control inside passes on is not the frame's.
        QTest::mouseDClick(c.find<QWidget>("Label18"), Qt::LeftButton);
        QCOMPARE(texts(c), QStringList(16, QStringLiteral("42")));
        const QPoint background(3, 100);
        QVERIFY(!c.window->Frame5()->childAt(background));
        QTest::mouseDClick(c.window->Frame5(), Qt::LeftButton, {}, background);
        QCOMPARE(texts(c).join(' '), QStringLiteral("1 2 3 4 5 6 7 8 8 7 6 5 4 3 2 1"));
        QTest::qWait(150);
        QVERIFY(c.pty.allBytes().isEmpty());
    }

    void numericFilter_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("caretAfter");
        QTest::newRow("letter after 12") << "12" << 2 << "a" << false << "12" << 2;
        QTest::newRow("letters between") << "" << 0 << "1a2b" << false << "12" << 2;
        QTest::newRow("decimal") << "" << 0 << "12.5" << false << "12.5" << 4;
        QTest::newRow("second point") << "" << 0 << "1.2.3" << false << "1.23" << 4;
        QTest::newRow("minus in front") << "5" << 0 << "-" << false << "-5" << 1;
        QTest::newRow("lone minus") << "" << 0 << "-" << false << "" << 0;
        QTest::newRow("letter in front") << "34" << 0 << "x" << false << "34" << 0;
        QTest::newRow("paste 12a34") << "" << 0 << "12a34" << true << "12" << 2;
        QTest::newRow("paste after 9") << "9" << 1 << "12a34" << true << "912" << 3;
        QTest::newRow("paste in middle") << "15" << 1 << "x7" << true << "15" << 1;
    }
    void numericFilter() {
        QFETCH(QString, before);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(bool, paste);
        QFETCH(QString, after);
        QFETCH(int, caretAfter);
        Console c(false, false);
        QLineEdit* edit = box(c, 4);
        edit->setText(before);
        edit->setCursorPosition(caret);
        if (paste) {
            QGuiApplication::clipboard()->setText(typed);
            edit->paste();
        } else {
            QTest::keyClicks(edit, typed);
        }
        QCOMPARE(edit->text(), after);
        QCOMPARE(edit->cursorPosition(), caretAfter);
    }

    void spinSteps_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("after");
        QTest::newRow("up 7") << 3 << "7" << true << "8";
        QTest::newRow("down 7") << 12 << "7" << false << "6";
        QTest::newRow("up 65279") << 3 << "65279" << true << "0";
        QTest::newRow("down 1") << 12 << "1" << false << "65279";
        QTest::newRow("down 0") << 3 << "0" << false << "65278";
        QTest::newRow("up 70000") << 12 << "70000" << true << "1";
        QTest::newRow("down 70000") << 3 << "70000" << false << "65278";
        QTest::newRow("up 2.5") << 12 << "2.5" << true << "3";
        QTest::newRow("up 3.5") << 3 << "3.5" << true << "5";
    }
    // One step per press; a channel set to off disables both its spin controls, which then do
    // not step.
    void spinSteps() {
        QFETCH(int, index);
        QFETCH(QString, before);
        QFETCH(bool, up);
        QFETCH(QString, after);
        Console c(false, false);
        box(c, index)->setText(before);
        SpinButton* s = spin(c, index);
        QTest::mouseClick(up ? s->upArrow() : s->downArrow(), Qt::LeftButton);
        QCOMPARE(box(c, index)->text(), after);
        c.button(QStringLiteral("Check1_%1").arg(index % 8))->click();
        QTest::mouseClick(up ? s->upArrow() : s->downArrow(), Qt::LeftButton);
        QCOMPARE(box(c, index)->text(), after);
    }

    void heldArrowRepeats() {
        Console c(false, false);
        box(c, 0)->setText(QStringLiteral("10"));
        QToolButton* arrow = spin(c, 0)->upArrow();
        QTest::mousePress(arrow, Qt::LeftButton);
        QCOMPARE(box(c, 0)->text(), QStringLiteral("11")); // the press itself steps
        QTest::qWait(1000);
        QTest::mouseRelease(arrow, Qt::LeftButton);
        const int reached = box(c, 0)->text().toInt();
        QVERIFY2(reached >= 15 && reached <= 21, qPrintable(QString::number(reached)));
        QTest::qWait(300);
        QCOMPARE(box(c, 0)->text().toInt(), reached);
        qInfo("held 1 s: 10 -> %d", reached);
    }
};

QTEST_MAIN(TestDelayTable)
#include "tst_delaytable.moc"
