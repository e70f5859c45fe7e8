#include "core/frames.h"

#include <QTest>

using namespace vesk;

class TestParameterFrame : public QObject {
    Q_OBJECT
private slots:
    void frames_data() {
        QTest::addColumn<quint8>("address");
        QTest::addColumn<quint8>("parameter");
        QTest::addColumn<QByteArray>("values");
        auto row = [](quint8 address, quint8 parameter, const char* values, const char* expected) {
            QTest::newRow(expected) << address << parameter << QByteArray::fromHex(values);
        };
        row(1, Param::StateMask, "FF", "CA2001CC04001101FFAC");
        row(1, Param::StateMask, "7D", "CA2001CC040011017DAC");
        row(1, Param::StateMask, "00", "CA2001CC0400110100AC");
        row(1, Param::StateMask, "85", "CA2001CC0400110185AC");
        row(1, Param::PowerOnMode, "FF", "CA2001CC04001501FFAC");
        row(1, Param::PowerOnMode, "00", "CA2001CC0400150100AC");
        row(1, Param::InterlockPairs, "04", "CA2001CC04001F0104AC");
        row(1, Param::PairBase, "0201", "CA2001CC050020020201AC");
        row(1, quint8(Param::PairBase + 6), "0000", "CA2001CC050026020000AC");
        row(0xFE, Param::Address, "1A", "CA20FECC040010011AAC");
        row(1, Param::OnDelays, "01000200030004000500060007000800",
            "CA2001CC13003010 01000200030004000500060007000800 AC");
        row(1, Param::OffDelays, "08000700060005000400030002000100",
            "CA2001CC13004010 08000700060005000400030002000100 AC");
        // Values that look like frame delimiters go out as they are: no escaping, no checksum.
        row(1, Param::StateMask, "AC", "CA2001CC04001101ACAC");
        row(0xCA, Param::PairBase, "CAAC", "CA20CACC05002002CAACAC");
    }
    void frames() {
        QFETCH(quint8, address);
        QFETCH(quint8, parameter);
        QFETCH(QByteArray, values);
        QCOMPARE(parameterFrame(address, parameter, values).toHex(' '),
                 QByteArray::fromHex(QTest::currentDataTag()).toHex(' '));
    }
    void valueCount() {
        QCOMPARE(parameterFrame(1, Param::StateMask, quint8(0xAC)).toHex(), "ca2001cc04001101acac");
        // 252 values fill the length byte (0xFF); 253 would wrap it to 0x00: nothing is built.
        QCOMPARE(parameterFrame(1, Param::OnDelays, QByteArray(252, 0)).mid(4, 4).toHex(),
                 "ff0030fc");
        QVERIFY(parameterFrame(1, Param::OnDelays, QByteArray(253, 0)).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestParameterFrame)
#include "tst_parameterframe.moc"
