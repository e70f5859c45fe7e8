#include "config/parameterframe.h"
#include "link/frame.h"

#include <QTest>

using namespace vesk;

class TestParameterFrame : public QObject {
    Q_OBJECT
private slots:
    void frames_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char* name, int address, int parameter, const char* values,
                      const char* expected) {
            QTest::newRow(name) << address << parameter << QByteArray::fromHex(values)
                                << QByteArray::fromHex(expected);
        };
        row("state mask all on", 1, Param::StateMask, "FF", "CA2001CC04001101FFAC");
        row("state mask 2 and 8 off", 1, Param::StateMask, "7D", "CA2001CC040011017DAC");
        row("state mask all off", 1, Param::StateMask, "00", "CA2001CC0400110100AC");
        row("user power-on state 1 3 8", 1, Param::StateMask, "85", "CA2001CC0400110185AC");
        row("power-on before loss", 1, Param::PowerOnMode, "FF", "CA2001CC04001501FFAC");
        row("power-on user state", 1, Param::PowerOnMode, "00", "CA2001CC0400150100AC");
        row("interlock pair 5-6", 1, Param::InterlockPairs, "04", "CA2001CC04001F0104AC");
        row("set pair 1-2", 1, Param::PairBase, "0201", "CA2001CC050020020201AC");
        row("release pair 7-8", 1, Param::PairBase + 6, "0000", "CA2001CC050026020000AC");
        row("new address 1A", BroadcastAddress, Param::Address, "1A", "CA20FECC040010011AAC");
        row("initial on-delays", 1, Param::OnDelays, "01000200030004000500060007000800",
            "CA2001CC13003010 01000200030004000500060007000800 AC");
        row("initial off-delays", 1, Param::OffDelays, "08000700060005000400030002000100",
            "CA2001CC13004010 08000700060005000400030002000100 AC");
        // Values that look like frame delimiters go out as they are: no escaping, no checksum.
        row("end byte as value", 1, Param::StateMask, "AC", "CA2001CC04001101ACAC");
        row("start bytes as values", 0xCA, Param::PairBase, "CAAC", "CA20CACC05002002CAACAC");
    }
    void frames() {
        QFETCH(int, address);
        QFETCH(int, parameter);
        QFETCH(QByteArray, values);
        QFETCH(QByteArray, expected);
        const quint8 a = quint8(address), p = quint8(parameter);
        const QByteArray frame = values.size() == 1 ? parameterFrame(a, p, quint8(values[0]))
                                                    : parameterFrame(a, p, values);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void valueCountLimit() {
        // 252 values fill the length byte (0xFF); 253 would wrap it to 0x00: nothing is built.
        const QByteArray full = parameterFrame(1, Param::OnDelays, QByteArray(252, char(0xAC)));
        QCOMPARE(full.size(), 9 + 252);
        QCOMPARE(full.left(8).toHex(), QByteArray("ca2001ccff0030fc"));
        QCOMPARE(quint8(full.back()), ParameterEnd);
        QVERIFY(parameterFrame(1, Param::OnDelays, QByteArray(253, '\0')).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestParameterFrame)
#include "tst_parameterframe.moc"
