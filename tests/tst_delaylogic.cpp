#include "channels/delaylogic.h"
#include "config/parameterframe.h"

#include <QTest>

using namespace vesk;
using Delays = std::array<int, 8>;

class TestDelayLogic : public QObject {
    Q_OBJECT
private slots:
    void encodeDelayTable_data();
    void encodeDelayTable();
    void encodeDelayRoundTrip();
    void readsAsNumber_data();
    void readsAsNumber();
    void filterNumeric_data();
    void filterNumeric();
    void filterMatchesSingleBackspaces();
    void roundedNumber_data();
    void roundedNumber();
    void spin_data();
    void spin();
    void spinWrapsAroundTheRange();
    void delayValue_data();
    void delayValue();
    void delayFrame_data();
    void delayFrame();
    void firstUnsendable_data();
    void firstUnsendable();
    void overflowMessage();
    void channelStateMask_data();
    void channelStateMask();
};

void TestDelayLogic::encodeDelayTable_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    const int table[][3] = {{0, 0x00, 0x00},    {8, 0x08, 0x00},     {255, 0xFF, 0x00},
                            {256, 0x01, 0x01},  {300, 0x2D, 0x01},   {510, 0x00, 0x02},
                            {3600, 0x1E, 0x0E}, {65025, 0x00, 0xFF}, {65279, 0xFE, 0xFF}};
    for (const auto& r : table)
        QTest::addRow("%d", r[0]) << r[0] << r[1] << r[2];
}

void TestDelayLogic::encodeDelayTable() {
    QFETCH(int, seconds);
    QFETCH(int, low);
    QFETCH(int, high);
    const auto form = encodeDelay(seconds);
    QCOMPARE(form[0], quint8(low));
    QCOMPARE(form[1], quint8(high));
}

void TestDelayLogic::encodeDelayRoundTrip() {
    for (int v = 0; v <= MaxDelay; ++v) {
        const auto [low, high] = encodeDelay(v);
        if (high * 255 + low != v || (high > 0 && low > 254))
            QFAIL(qPrintable(QString("%1 encodes as %2 %3").arg(v).arg(low).arg(high)));
    }
}

void TestDelayLogic::readsAsNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    const std::pair<const char16_t*, bool> table[] = {
        {u"12", true},     {u"12a", false},      {u"", false},     {u"-", false},
        {u"+", false},     {u".", false},        {u"-.", false},   {u"1.", true},
        {u".5", true},     {u"-5", true},        {u"+5", true},    {u" 7 ", true},
        {u"\t7", true},    {u"   ", false},      {u"1e5", true},   {u"1E-5", true},
        {u"1e+5", true},   {u"1e", false},       {u"1e-", false},  {u"e5", false},
        {u"1.2.3", false}, {u"1 2", false},      {u"- 5", false},  {u"1,000", false},
        {u"１２", false},  {u"12\u00A0", false}, {u"1e400", true}, {u"--5", false}};
    for (const auto& [text, number] : table)
        QTest::addRow("\"%s\"", qPrintable(QString::fromUtf16(text)))
            << QString::fromUtf16(text) << number;
}

void TestDelayLogic::readsAsNumber() {
    QFETCH(QString, text);
    QFETCH(bool, number);
    QCOMPARE(vesk::readsAsNumber(text), number);
}

void TestDelayLogic::filterNumeric_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("expectedCaret");
    QTest::newRow("letter typed after 12") << "12x" << 3 << "12" << 2;
    QTest::newRow("12a34 pasted") << "12a34" << 5 << "12" << 2;
    QTest::newRow("letter typed in the middle") << "1x2" << 2 << "12" << 1;
    QTest::newRow("number left alone") << "12.5" << 4 << "12.5" << 4;
    QTest::newRow("empty stays empty") << "" << 0 << "" << 0;
    QTest::newRow("lone sign removed") << "-" << 1 << "" << 0;
    QTest::newRow("lone point removed") << "." << 1 << "" << 0;
    QTest::newRow("sign before digits stays") << "-5" << 1 << "-5" << 1;
    QTest::newRow("second point removed") << "1.2." << 4 << "1.2" << 3;
    QTest::newRow("e removed") << "1e" << 2 << "1" << 1;
    QTest::newRow("nothing before caret") << "x12" << 0 << "x12" << 0;
    QTest::newRow("letters before caret go") << "ab12" << 2 << "12" << 0;
    QTest::newRow("full-width digits go") << "1１２" << 3 << "1" << 1;
    QTest::newRow("surrogate pair as one") << QString::fromUtf16(u"7\U0001F600") << 3 << "7" << 1;
    QTest::newRow("caret beyond the end") << "12x" << 99 << "12" << 2;
    QTest::newRow("negative caret") << "12x" << -4 << "12x" << 0;
}

void TestDelayLogic::filterNumeric() {
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(QString, expected);
    QFETCH(int, expectedCaret);
    const FilterResult r = vesk::filterNumeric(text, caret);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.caret, expectedCaret);
}

// The filter removes several characters in one go where it can; it must end exactly where one
// Backspace per text change would end.
void TestDelayLogic::filterMatchesSingleBackspaces() {
    const QString alphabet = QStringLiteral("1.-e a");
    const int letters = int(alphabet.size());
    for (int length = 0; length <= 6; ++length) {
        int combinations = 1;
        for (int k = 0; k < length; ++k)
            combinations *= letters;
        for (int code = 0; code < combinations; ++code) {
            QString text;
            for (int k = 0, c = code; k < length; ++k, c /= letters)
                text += alphabet[c % letters];
            for (int caret = 0; caret <= length; ++caret) {
                QString slow = text;
                int slowCaret = caret;
                while (!slow.isEmpty() && !vesk::readsAsNumber(slow) && slowCaret > 0)
                    slow.remove(--slowCaret, 1);
                const FilterResult fast = vesk::filterNumeric(text, caret);
                if (fast.text != slow || fast.caret != slowCaret)
                    QFAIL(qPrintable(QString("\"%1\" caret %2: \"%3\" %4, expected \"%5\" %6")
                                         .arg(text)
                                         .arg(caret)
                                         .arg(fast.text)
                                         .arg(fast.caret)
                                         .arg(slow)
                                         .arg(slowCaret)));
            }
        }
    }
}

void TestDelayLogic::roundedNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("fits");
    auto row = [](const char* text, int value, bool fits = true) {
        QTest::newRow(text) << QString::fromLatin1(text) << value << fits;
    };
    row("0.5", 0);
    row("1.5", 2);
    row("2.5", 2);
    row("-2.5", -2);
    row("-0.4", 0);
    row("2.51", 3);
    row("0.50000000000000000001", 1);
    row("65279.49999999999999999", 65279);
    row("25e-1", 2);
    row("35E-1", 4);
    row("0.0005e4", 5);
    row("0000000000000000000042", 42);
    row("0e400", 0);
    row("1e-400", 0);
    row("1e9", 1000000000);
    row("2147483647", 2147483647);
    row("-2147483648", -2147483647 - 1);
    row("2147483647.5", 0, false);
    row("2147483648", 0, false);
    row("1e10", 0, false);
    row("1e400", 0, false);
    row("1e99999999999999999999", 0, false);
    row("99999999999", 0, false);
    row("abc", 0, false);
}

void TestDelayLogic::roundedNumber() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(bool, fits);
    QCOMPARE(vesk::roundedNumber(text), fits ? std::optional<int>(value) : std::nullopt);
}

void TestDelayLogic::spin_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("expected");
    const std::tuple<const char*, bool, const char*> table[] = {
        {"1", true, "2"},       {"65279", true, "0"},      {"1", false, "65279"},
        {"0", false, "65278"},  {"2", false, "1"},         {"0", true, "1"},
        {"70000", true, "1"},   {"70000", false, "65278"}, {"2.5", true, "3"},
        {"3.5", true, "5"},     {"2.5", false, "1"},       {"", true, "1"},
        {"", false, "65278"},   {"abc", true, "1"},        {"abc", false, "65278"},
        {"1e400", true, "1"},   {"1e400", false, "65278"}, {"-3", true, "1"},
        {"-3", false, "65278"}, {"65279.4", true, "0"},    {"65279.5", false, "65278"}};
    for (const auto& [text, up, expected] : table)
        QTest::addRow("\"%s\" %s", text, up ? "up" : "down") << text << up << expected;
}

void TestDelayLogic::spin() {
    QFETCH(QString, text);
    QFETCH(bool, up);
    QFETCH(QString, expected);
    QCOMPARE(up ? spinUp(text) : spinDown(text), expected);
}

void TestDelayLogic::spinWrapsAroundTheRange() {
    // Up runs 1, 2, ..., 65279, 0, 1; down runs 65278, ..., 1, 65279. Each shown text is read
    // back by the next step.
    QString up = QStringLiteral("0");
    QString down = QString::number(MaxDelay);
    for (int step = 1; step <= MaxDelay + 1; ++step) {
        up = spinUp(up);
        down = spinDown(down);
        const QString upExpected = QString::number(step % (MaxDelay + 1));
        const QString downExpected =
            QString::number(step % MaxDelay == 0 ? MaxDelay : MaxDelay - step % MaxDelay);
        if (up != upExpected || down != downExpected)
            QFAIL(qPrintable(QString("step %1 shows %2 / %3").arg(step).arg(up, down)));
    }
}

void TestDelayLogic::delayValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("sendable");
    auto row = [](const char* text, int value, bool sendable = true) {
        QTest::addRow("\"%s\"", text) << QString::fromLatin1(text) << value << sendable;
    };
    row("", 0);
    row("  ", 0);
    row("0", 0);
    row("8", 8);
    row("65279", 65279);
    row("65280", 0, false);
    row("-1", 0, false);
    row("-0.4", 0);
    row("2.5", 2);
    row("3.5", 4);
    row("65279.4", 65279);
    row("65279.5", 0, false);
    row("1e3", 1000);
    row("99999999999", 0, false);
    row("abc", 0, false);
    row("-", 0, false);
}

void TestDelayLogic::delayValue() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(bool, sendable);
    QCOMPARE(vesk::delayValue(text), sendable ? std::optional<int>(value) : std::nullopt);
}

void TestDelayLogic::delayFrame_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<Delays>("seconds");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("initial on-delays")
        << int(Param::OnDelays) << Delays{1, 2, 3, 4, 5, 6, 7, 8}
        << QByteArray::fromHex("CA2001CC13003010 0100020003000400 0500060007000800 AC");
    QTest::newRow("initial off-delays")
        << int(Param::OffDelays) << Delays{8, 7, 6, 5, 4, 3, 2, 1}
        << QByteArray::fromHex("CA2001CC13004010 0800070006000500 0400030002000100 AC");
    QTest::newRow("edges of the form")
        << int(Param::OnDelays) << Delays{0, 255, 256, 300, 510, 3600, 65025, 65279}
        << QByteArray::fromHex("CA2001CC13003010 0000FF0001012D01 00021E0E00FFFEFF AC");
}

void TestDelayLogic::delayFrame() {
    QFETCH(int, parameter);
    QFETCH(Delays, seconds);
    QFETCH(QByteArray, expected);
    QCOMPARE(vesk::delayFrame(1, quint8(parameter), seconds).toHex(' '), expected.toHex(' '));
}

void TestDelayLogic::firstUnsendable_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("index");
    QTest::newRow("initial") << QStringList{"1", "2", "3", "4", "5", "6", "7", "8"} << -1;
    QTest::newRow("empty boxes send 0") << QStringList{"", "", "", "", "", "", "", ""} << -1;
    QTest::newRow("channel 3 overflows")
        << QStringList{"1", "2", "65280", "4", "5", "6", "7", "8"} << 2;
    QTest::newRow("only the first of two")
        << QStringList{"1", "2", "3", "70000", "5", "-1", "7", "8"} << 3;
    QTest::newRow("negative first") << QStringList{"-1", "2", "3", "4", "5", "6", "7", "1e9"} << 0;
    QTest::newRow("letters last") << QStringList{"1", "2", "3", "4", "5", "6", "7", "x"} << 7;
}

void TestDelayLogic::firstUnsendable() {
    QFETCH(QStringList, texts);
    QFETCH(int, index);
    std::array<QString, 8> boxes;
    std::copy(texts.begin(), texts.end(), boxes.begin());
    QCOMPARE(vesk::firstUnsendable(boxes), index);
}

void TestDelayLogic::overflowMessage() {
    // Spelled as code points so that a mis-encoded source cannot make both sides agree.
    QCOMPARE(vesk::overflowMessage(3),
             QString::fromUtf16(u"\u7B2C3\u6587\u672C\u6846\u6570\u636E\u6EA2\u51FA\uFF01\uFF01 "));
    QCOMPARE(vesk::overflowMessage(15), QStringLiteral("第15文本框数据溢出！！ "));
}

void TestDelayLogic::channelStateMask_data() {
    QTest::addColumn<int>("tickedBits");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("none ticked") << 0x00 << QByteArray::fromHex("CA2001CC04001101FFAC");
    QTest::newRow("channels 2 and 8 off") << 0x82 << QByteArray::fromHex("CA2001CC040011017DAC");
    QTest::newRow("all off") << 0xFF << QByteArray::fromHex("CA2001CC0400110100AC");
    QTest::newRow("channel 1 off") << 0x01 << QByteArray::fromHex("CA2001CC04001101FEAC");
    QTest::newRow("channel 8 off") << 0x80 << QByteArray::fromHex("CA2001CC040011017FAC");
}

void TestDelayLogic::channelStateMask() {
    QFETCH(int, tickedBits);
    QFETCH(QByteArray, frame);
    std::array<bool, 8> tickedOff{};
    for (int i = 0; i < 8; ++i)
        tickedOff[i] = tickedBits & (1 << i);
    QCOMPARE(parameterFrame(1, Param::StateMask, vesk::channelStateMask(tickedOff)), frame);
}

QTEST_APPLESS_MAIN(TestDelayLogic)
#include "tst_delaylogic.moc"
