#include "config/parameterframe.h"
#include "link/frame.h"

#include <QTest>

using namespace vesk;

class TestParameterFrame : public QObject {
    Q_OBJECT
private slots:
    void frames_data();
    void frames();
    void layoutFollowsValueCount_data();
    void layoutFollowsValueCount();
    void tooManyValues();
};

static QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    for (quint8 b : list)
        out.append(char(b));
    return out;
}

void TestParameterFrame::frames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char* name, const QByteArray& frame, const char* hex) {
        QTest::newRow(name) << frame << QByteArray::fromHex(hex);
    };
    row("state mask all on", parameterFrame(1, Param::StateMask, 0xFF), "CA2001CC04001101FFAC");
    row("state mask 2 and 8 off", parameterFrame(1, Param::StateMask, 0x7D),
        "CA2001CC040011017DAC");
    row("state mask all off", parameterFrame(1, Param::StateMask, 0x00), "CA2001CC0400110100AC");
    row("user power-on state 1 3 8", parameterFrame(1, Param::StateMask, 0x85),
        "CA2001CC0400110185AC");
    row("power-on before loss", parameterFrame(1, Param::PowerOnMode, 0xFF),
        "CA2001CC04001501FFAC");
    row("power-on user state", parameterFrame(1, Param::PowerOnMode, 0x00), "CA2001CC0400150100AC");
    row("interlock mask pair 5-6", parameterFrame(1, Param::InterlockPairs, 0x04),
        "CA2001CC04001F0104AC");
    row("set pair 1-2", parameterFrame(1, Param::PairBase, bytes({0x02, 0x01})),
        "CA2001CC0500200202 01AC");
    row("release pair 7-8", parameterFrame(1, Param::PairBase + 6, bytes({0x00, 0x00})),
        "CA2001CC050026020000AC");
    row("new address 1A", parameterFrame(BroadcastAddress, Param::Address, 0x1A),
        "CA20FECC040010011AAC");
    row("new address FE", parameterFrame(BroadcastAddress, Param::Address, 0xFE),
        "CA20FECC04001001FEAC");
    row("new address FF", parameterFrame(BroadcastAddress, Param::Address, 0xFF),
        "CA20FECC04001001FFAC");
    row("new address 0", parameterFrame(BroadcastAddress, Param::Address, 0x00),
        "CA20FECC0400100100AC");
    row("initial on-delays",
        parameterFrame(1, Param::OnDelays, QByteArray::fromHex("01000200030004000500060007000800")),
        "CA2001CC13003010 01000200030004000500060007000800 AC");
    row("initial off-delays",
        parameterFrame(1, Param::OffDelays,
                       QByteArray::fromHex("08000700060005000400030002000100")),
        "CA2001CC13004010 08000700060005000400030002000100 AC");
    row("end byte as value", parameterFrame(1, Param::StateMask, 0xAC), "CA2001CC04001101ACAC");
    row("start bytes as values", parameterFrame(0xCA, Param::PairBase, bytes({0xCA, 0xAC})),
        "CA20CACC050020 02CAACAC");
}

void TestParameterFrame::frames() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestParameterFrame::layoutFollowsValueCount_data() {
    QTest::addColumn<int>("count");
    for (int n : {0, 1, 2, 16, 252})
        QTest::addRow("%d values", n) << n;
}

void TestParameterFrame::layoutFollowsValueCount() {
    QFETCH(int, count);
    // Values chosen to look like frame delimiters: nothing may be escaped or summed.
    const QByteArray values(count, char(0xAC));
    const QByteArray frame = parameterFrame(0x42, 0x30, values);
    QCOMPARE(frame.size(), 9 + count);
    QCOMPARE(frame.left(4), QByteArray::fromHex("CA2042CC"));
    QCOMPARE(quint8(frame[4]), quint8(count + 3));
    QCOMPARE(quint8(frame[5]), quint8(0x00));
    QCOMPARE(quint8(frame[6]), quint8(0x30));
    QCOMPARE(quint8(frame[7]), quint8(count));
    QCOMPARE(frame.mid(8, count), values);
    QCOMPARE(quint8(frame.back()), ParameterEnd);
}

void TestParameterFrame::tooManyValues() {
    // 253 values would wrap the length byte to 0x00 and corrupt the frame: nothing is built.
    QVERIFY(parameterFrame(1, 0x30, QByteArray(253, '\0')).isEmpty());
}

QTEST_APPLESS_MAIN(TestParameterFrame)
#include "tst_parameterframe.moc"
