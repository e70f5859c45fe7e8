#include "channels/delaylogic.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vesk;

class TestDelayLogic : public QObject {
    Q_OBJECT
private slots:
    void encodeDelay_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QByteArray>("form");
        const std::pair<int, const char*> table[] = {{255, "FF00"}, {256, "0101"},
                                                     {510, "0002"}, {65279, "FEFF"},
                                                     {-5, "0000"},  {70000, "FEFF"}};
        for (const auto& [seconds, hex] : table)
            QTest::addRow("%d", seconds) << seconds << QByteArray::fromHex(hex);
    }
    void encodeDelay() {
        QFETCH(int, seconds);
        QFETCH(QByteArray, form);
        const auto bytes = vesk::encodeDelay(seconds);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 2).toHex(), form.toHex());
    }
    void encodeDelayRoundTrip() {
        for (int v = 0; v <= MaxDelay; ++v) {
            const auto [low, high] = vesk::encodeDelay(v);
            if (high * 255 + low != v || (high > 0 && low > 254))
                QFAIL(qPrintable(QString("%1 encodes as %2 %3").arg(v).arg(low).arg(high)));
        }
    }

    void readsAsNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        auto row = [](const char16_t* text, bool number) {
            QTest::addRow("\"%s\"", qPrintable(QString::fromUtf16(text)))
                << QString::fromUtf16(text) << number;
        };
        for (auto t :
             {u"12", u"1.", u".5", u"-5", u"+5", u" 7\t", u"1e5", u"1E-5", u"1e+5", u"1e400"})
            row(t, true);
        for (auto t : {u"", u"12a", u"-", u".", u"-.", u"   ", u"1e", u"1e-", u"e5", u"1.2.3",
                       u"1 2", u"- 5", u"--5", u"1,000", u"１２", u"12\u00A0"})
            row(t, false);
    }
    void readsAsNumber() {
        QFETCH(QString, text);
        QFETCH(bool, number);
        QCOMPARE(vesk::readsAsNumber(text), number);
    }

    void filterNumeric_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("expectedCaret");
        QTest::newRow("letter typed after 12") << "12x" << 3 << "12" << 2;
        QTest::newRow("12a34 pasted") << "12a34" << 5 << "12" << 2;
        QTest::newRow("letter typed in the middle") << "1x2" << 2 << "12" << 1;
        QTest::newRow("number left alone") << "12.5" << 4 << "12.5" << 4;
        QTest::newRow("lone sign removed") << "-" << 1 << "" << 0;
        QTest::newRow("sign before digits stays") << "-5" << 1 << "-5" << 1;
        QTest::newRow("second point removed") << "1.2." << 4 << "1.2" << 3;
        QTest::newRow("e removed") << "1e" << 2 << "1" << 1;
        QTest::newRow("nothing before caret") << "x12" << 0 << "x12" << 0;
        QTest::newRow("letters before caret go") << "ab12" << 2 << "12" << 0;
        QTest::newRow("full-width digits go") << "1１２" << 3 << "1" << 1;
        QTest::newRow("surrogate pair") << QString::fromUtf16(u"7\U0001F600") << 3 << "7" << 1;
        QTest::newRow("caret beyond the end") << "12x" << 99 << "12" << 2;
        QTest::newRow("negative caret") << "12x" << -4 << "12x" << 0;
        // One Backspace at a time would rescan the digits after every removal: a long freeze.
        const QString digits(100000, u'7');
        QTest::newRow("long paste") << digits + QString(100000, u'x') << 200000 << digits << 100000;
    }
    void filterNumeric() {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(QString, expected);
        QFETCH(int, expectedCaret);
        QElapsedTimer timer;
        timer.start();
        const FilterResult r = vesk::filterNumeric(text, caret);
        QVERIFY(timer.elapsed() < 500);
        QCOMPARE(r.text, expected);
        QCOMPARE(r.caret, expectedCaret);
    }
    // Every text of up to six characters from "1.-e a", every caret: the filter must end exactly
    // where one Backspace per text change would.
    void filterMatchesSingleBackspaces() {
        QStringList texts{QString()};
        for (qsizetype i = 0; i < texts.size() && texts[i].size() < 6; ++i)
            for (QChar c : QStringLiteral("1.-e a"))
                texts.append(texts[i] + c);
        for (const QString& text : std::as_const(texts)) {
            for (int caret = 0; caret <= text.size(); ++caret) {
                QString slow = text;
                int at = caret;
                while (!slow.isEmpty() && at > 0 && !vesk::readsAsNumber(slow))
                    slow.remove(--at, 1);
                const FilterResult fast = vesk::filterNumeric(text, caret);
                if (fast.text != slow || fast.caret != at)
                    QFAIL(qPrintable(QString("\"%1\" caret %2").arg(text).arg(caret)));
            }
        }
    }

    void spin_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("expected");
        const std::tuple<const char*, bool, const char*> table[] = {
            {"1", true, "2"},      {"2", false, "1"},         {"65279", true, "0"},
            {"1", false, "65279"}, {"0", false, "65278"},     {"0", true, "1"},
            {"70000", true, "1"},  {"70000", false, "65278"}, {"2.5", true, "3"},
            {"3.5", true, "5"},    {"", true, "1"},           {"abc", false, "65278"},
            {"1e400", true, "1"},  {"-3", false, "65278"},    {"65279.5", false, "65278"}};
        for (const auto& [text, up, expected] : table)
            QTest::addRow("\"%s\" %s", text, up ? "up" : "down") << text << up << expected;
    }
    void spin() {
        QFETCH(QString, text);
        QFETCH(bool, up);
        QFETCH(QString, expected);
        QCOMPARE(up ? spinUp(text) : spinDown(text), expected);
    }

    void delayValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // -1: the box cannot be sent
        auto row = [](const char* text, int value) {
            QTest::addRow("\"%s\"", text) << text << value;
        };
        for (auto t : {"", "  ", "-0.5", "0.5", "0e400", "1e-400"})
            row(t, 0);
        for (auto t : {"65280", "-0.6", "65279.5", "1e400", "1e99999999999999999999", "4294967297",
                       "18446744073709551617", "abc", "-"})
            row(t, -1);
        const std::pair<const char*, int> table[] = {
            {"8", 8},    {"65279", 65279}, {"2.5", 2},      {"3.5", 4},
            {"2.51", 3}, {"25e-1", 2},     {"0.0005e4", 5}, {"1e3", 1000}};
        for (const auto& [text, value] : table)
            row(text, value);
        row("0.50000000000000000001", 1);
        row("65279.49999999999999999", 65279);
        row("0000000000000000000042", 42);
    }
    void delayValue() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(vesk::delayValue(text), value < 0 ? std::nullopt : std::optional<int>(value));
    }

    void firstUnsendable_data() {
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<int>("index");
        QTest::newRow("all sendable") << "1|2||4|5|6|7|8" << -1;
        QTest::newRow("only the first of two") << "1|2|3|70000|5|-1|7|8" << 3;
        QTest::newRow("first box") << "-1|2|3|4|5|6|7|1e9" << 0;
        QTest::newRow("last box") << "1|2|3|4|5|6|7|x" << 7;
    }
    void firstUnsendable() {
        QFETCH(QString, boxes);
        QFETCH(int, index);
        std::array<QString, 8> texts;
        const QStringList parts = boxes.split(u'|');
        std::copy(parts.begin(), parts.end(), texts.begin());
        QCOMPARE(vesk::firstUnsendable(texts), index);
    }

    void overflowMessage() {
        // Spelled as code points so that a mis-encoded source cannot make both sides agree.
        QCOMPARE(
            vesk::overflowMessage(3),
            QString::fromUtf16(u"\u7B2C3\u6587\u672C\u6846\u6570\u636E\u6EA2\u51FA\uFF01\uFF01 "));
        QCOMPARE(vesk::overflowMessage(15), QStringLiteral("第15文本框数据溢出！！ "));
    }
};

QTEST_APPLESS_MAIN(TestDelayLogic)
#include "tst_delaylogic.moc"
