// Bad input typed or pasted into every box and list the operator can edit: each send puts exactly
// the right frames on the wire, or the stated message and nothing at all.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <memory>

#include "core/frames.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

struct BadInput {
    bool everyBox; // one of each kind is fed to every box, the variants to the first of a column
    const char* name;
    const char* how; // "type", "paste" or "clear"
    QString text;
    int delay; // what a delay box then sends; -1: the box cannot be sent
};

const QList<BadInput>& badInputs() {
    static const QList<BadInput> inputs{
        {true, "letters typed", "type", QStringLiteral("abc"), 0},
        {false, "letters between digits typed", "type", QStringLiteral("4a2"), 42},
        {false, "hex typed", "type", QStringLiteral("0x1F"), 1},
        {true, "text pasted", "paste", QStringLiteral("12abc34"), 12},
        {true, "huge number typed", "type", QStringLiteral("99999999999"), -1},
        {false, "exponent typed", "type", QStringLiteral("1e3"), 13},
        {true, "exponent pasted", "paste", QStringLiteral("1e3"), 1000},
        {false, "minus typed", "type", QStringLiteral("-5"), 5},
        {true, "minus pasted", "paste", QStringLiteral("-5"), -1},
        {true, "full-width digits typed", "type", QStringLiteral("１２"), 0},
        {true, "empty", "clear", QString(), 0},
    };
    return inputs;
}

QByteArray delayColumnFrame(bool on, int changed, int value) {
    std::array<int, 8> seconds;
    for (int c = 0; c < 8; ++c)
        seconds[c] = c == changed ? value : on ? c + 1 : 8 - c;
    return delayFrame(0xFE, on, seconds);
}

void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        const int key =
            ch.unicode() < 0x80 ? int(QChar(ch).toUpper().unicode()) : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class TestFaultInput : public QObject {
    Q_OBJECT
    std::unique_ptr<Console> c;

private slots:
    void initTestCase() {
        c = std::make_unique<Console>();
        QVERIFY(c->pty.waitForFrames(2, 3000));
    }
    void cleanupTestCase() { c.reset(); }

    void badInputSendsRightFrameOrMessage_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("broadcast");
        QTest::addColumn<QString>("send");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("message"); // text, title; empty when none

        // Every delay box: on-delays go out twice (before the wait and after the echo), off-delays
        // once; a box that cannot be sent names its number and nothing goes out.
        for (int i = 0; i < 16; ++i) {
            const bool on = i < 8;
            const int c = i % 8;
            for (const BadInput& in : badInputs()) {
                if (!in.everyBox && c != 0)
                    continue;
                QByteArray wire;
                QStringList message;
                if (in.delay >= 0) {
                    const QByteArray frame = delayColumnFrame(on, c, in.delay);
                    wire = on ? frame + frame : frame;
                } else {
                    message = {QStringLiteral("第%1文本框数据溢出！！ ").arg(on ? c + 1 : c + 8),
                               on ? QStringLiteral("VESK-QX") : QStringLiteral("VESK-5200")};
                }
                QTest::addRow("Text1_%d %s", i, in.name)
                    << QStringLiteral("Text1_%1").arg(i) << QString::fromLatin1(in.how) << in.text
                    << true << (on ? QStringLiteral("Command1") : QStringLiteral("Command2"))
                    << wire << message;
            }
        }

        // The lists offer fixed entries only: typing picks nothing (the address lists) or only
        // an entry that exists, so the frame is the one of the entry shown.
        const QByteArray query1 = hexBytes("CA 20 01 20 01 01 F2");
        const QByteArray queryB = hexBytes("CA 20 FE 20 01 01 F5");
        const QByteArray newAddress1 = hexBytes("CA 20 FE CC 04 00 10 01 01 AC");
        const QByteArray multi = hexBytes("CA 20 FE 19 03 FF FF 00 FD");
        const QStringList typed{QStringLiteral("1F"),  QStringLiteral("ＦＦ"),
                                QStringLiteral("-1"),  QStringLiteral("99999999999"),
                                QStringLiteral("1e3"), QStringLiteral("abc")};
        for (const QString& text : typed) {
            QTest::addRow("IDCombo_1 %s", qPrintable(text))
                << "IDCombo_1"
                << "type" << text << false << "TestButton" << query1 + query1 << QStringList{};
            QTest::addRow("IDCombo_0 %s", qPrintable(text))
                << "IDCombo_0"
                << "type" << text << true << "IDset" << newAddress1 << QStringList{};
            for (const char* list : {"HourCombo", "MinteCombo"}) {
                if (text.at(0).isDigit() && QLatin1String(list) == QLatin1String("HourCombo"))
                    continue; // a digit picks its entry there, which is right
                QTest::addRow("%s %s", list, qPrintable(text))
                    << list << "type" << text << true << "Command4" << multi + queryB + queryB
                    << QStringList{};
            }
        }
    }
    void badInputSendsRightFrameOrMessage() {
        QFETCH(QString, box);
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(bool, broadcast);
        QFETCH(QString, send);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, message);

        for (int i = 0; i < 16; ++i)
            c->find<QLineEdit>(QStringLiteral("Text1_%1").arg(i))
                ->setText(QString::number(i < 8 ? i + 1 : 16 - i));
        c->find<QCheckBox>("Check2")->setChecked(broadcast);
        c->find<QComboBox>("IDCombo_0")->setCurrentIndex(1);
        c->find<QComboBox>("IDCombo_1")->setCurrentIndex(1);
        c->find<QComboBox>("MinteCombo")->setCurrentIndex(0);
        c->find<QComboBox>("HourCombo")->setCurrentIndex(0);
        QVERIFY(c->settle());
        c->pty.clear();
        c->messages.clear();

        QWidget* target = c->find<QWidget>(box);
        QVERIFY(target);
        if (auto* line = qobject_cast<QLineEdit*>(target))
            line->clear();
        if (how == QLatin1String("type")) {
            typeText(target, text);
        } else if (how == QLatin1String("paste")) {
            QGuiApplication::clipboard()->setText(text);
            qobject_cast<QLineEdit*>(target)->paste();
        }
        c->button(send)->click();
        QVERIFY(c->settle());

        QStringList shown;
        for (const auto& m : c->messages)
            shown << m.text << m.title;
        QCOMPARE(shown, message);
        QCOMPARE(c->pty.allBytes().toHex(' '), wire.toHex(' '));
    }
};

QTEST_MAIN(TestFaultInput)
#include "tst_fault_input.moc"
