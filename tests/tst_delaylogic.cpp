#include "core/delaylogic.h"

#include <QDeadlineTimer>
#include <QTest>

using namespace vesk;

constexpr int Refused = -1, NaN = -2; // a number that cannot be sent; no number at all

class TestDelayLogic : public QObject {
    Q_OBJECT
private slots:
    // Every value is high * 255 + low, with the low byte alone below 256 and below 255 above.
    void delayForm() {
        const int table[][2] = {{255, 0xFF00}, {256, 0x0101}, {-5, 0}, {70000, 0xFEFF}};
        for (const auto& [seconds, form] : table)
            QCOMPARE(encodeDelay(seconds)[0] << 8 | encodeDelay(seconds)[1], form);
        for (int v = 0; v <= MaxDelay; ++v) {
            const auto [low, high] = encodeDelay(v);
            if (high * 255 + low != v || (v < 256 ? high != 0 : low > 254))
                QFAIL(qPrintable(QString("%1 encodes as %2 %3").arg(v).arg(low).arg(high)));
        }
    }
    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        auto row = [](const char* t, int v) { QTest::addRow("\"%s\"", t) << QString(t) << v; };
        for (auto t : {"12a", "-", ".", "-.", "1e", "1e-", "e5", "1.2.3", "1 2", "- 5", "--5",
                       "1,000", "１２", "12\u00A0"})
            row(t, NaN);
        for (auto t : {"65280", "-0.6", "65279.5", "1e+5", "1e400", "1e99999999999999999999",
                       "4294967297", "18446744073709551617"})
            row(t, Refused);
        for (auto t : {"", "  ", "-0.5", "0.5", ".4", "1E-5", "0e400", "1e-400"})
            row(t, 0);
        const std::pair<const char*, int> table[] = {
            {"+8", 8},  {" 7\t", 7}, {"1.", 1},    {"65279", 65279}, {"2.5", 2},
            {"3.5", 4}, {"2.51", 3}, {"25e-1", 2}, {"0.0005e4", 5},  {"1e3", 1000}};
        for (const auto& [text, value] : table)
            row(text, value);
        row("0.50000000000000000001", 1);
        row("65279.49999999999999999", 65279);
    }
    void numbers() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(readsAsNumber(text), value != NaN && !text.trimmed().isEmpty());
        QCOMPARE(delayValue(text), value < 0 ? std::nullopt : std::optional<int>(value));
    }
    void filterNumeric_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("expectedCaret");
        // Digits and letters typed or pasted at the caret: filterMatchesSingleBackspaces.
        QTest::newRow("full-width digits") << "1１２" << 3 << "1" << 1;
        QTest::newRow("surrogate pair") << QString::fromUtf16(u"7\U0001F600") << 3 << "7" << 1;
        QTest::newRow("caret beyond the end") << "12x" << 99 << "12" << 2;
        QTest::newRow("negative caret") << "12x" << -4 << "12x" << 0;
        // One Backspace at a time rescans the digits after every removal: seconds of freeze.
        const QString digits(10000, u'7');
        QTest::newRow("long paste") << digits + QString(10000, u'x') << 20000 << digits << 10000;
    }
    void filterNumeric() {
        QFETCH(QString, text);
        QFETCH(int, caret);
        const QDeadlineTimer deadline(500);
        const FilterResult r = vesk::filterNumeric(text, caret);
        QVERIFY(!deadline.hasExpired());
        QTEST(r.text, "expected");
        QTEST(r.caret, "expectedCaret");
    }
    // Every text of up to six of "1.-e a", every caret: ends where single Backspaces would.
    void filterMatchesSingleBackspaces() {
        QStringList texts{QString()};
        for (qsizetype i = 0; i < texts.size() && texts[i].size() < 6; ++i)
            for (QChar c : QStringLiteral("1.-e a"))
                texts.append(texts[i] + c);
        for (const QString& text : std::as_const(texts))
            for (int caret = 0; caret <= text.size(); ++caret) {
                FilterResult slow{text, caret};
                while (!slow.text.isEmpty() && slow.caret > 0 && !readsAsNumber(slow.text))
                    slow.text.remove(--slow.caret, 1);
                const FilterResult fast = vesk::filterNumeric(text, caret);
                if (fast.text != slow.text || fast.caret != slow.caret)
                    QFAIL(qPrintable(QString("\"%1\" caret %2").arg(text).arg(caret)));
            }
    }
    void spin_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("expected");
        const std::tuple<const char*, bool, const char*> table[] = {
            {"65279", true, "0"}, {"1", false, "65279"},     {"0", false, "65278"},
            {"70000", true, "1"}, {"70000", false, "65278"}, {"2.5", true, "3"},
            {"3.5", true, "5"},   {"-3", true, "1"},         {"abc", false, "65278"}};
        for (const auto& [text, up, expected] : table)
            QTest::addRow("\"%s\" %s", text, up ? "up" : "down") << text << up << expected;
    }
    void spin() {
        QFETCH(QString, text);
        QFETCH(bool, up);
        QTEST(up ? spinUp(text) : spinDown(text), "expected");
    }
    void firstUnsendableAndMessage() {
        QCOMPARE(firstUnsendable({"1", "2", "", "4", "5", "6", "7", "8"}), -1);
        QCOMPARE(firstUnsendable({"1", "2", "3", "70000", "5", "-1", "7", "8"}), 3);
        QCOMPARE(firstUnsendable({"1", "2", "3", "4", "5", "6", "7", "x"}), 7);
        // Spelled as code points so that a mis-encoded source cannot make both sides agree.
        QCOMPARE(
            overflowMessage(15),
            QString::fromUtf16(u"\u7B2C15\u6587\u672C\u6846\u6570\u636E\u6EA2\u51FA\uFF01\uFF01 "));
    }
};

QTEST_APPLESS_MAIN(TestDelayLogic)
#include "tst_delaylogic.moc"
