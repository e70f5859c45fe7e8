// Command frames and their hex text, byte for byte, against the frames the controller expects.
#include <QTest>

#include "core/frames.h"

using namespace vesk;

namespace {
QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void commandFrame_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("query address 1") << 1 << 0x20 << hex("01") << hex("CA 20 01 20 01 01 F2");
        QTest::newRow("query broadcast") << 254 << 0x20 << hex("01") << hex("CA 20 FE 20 01 01 F5");
        QTest::newRow("query address 0") << 0 << 0x20 << hex("01") << hex("CA 20 00 20 01 01 F3");
        QTest::newRow("channel 3 on")
            << 1 << 0x18 << hex("03 01") << hex("CA 20 01 18 02 03 01 F6");
        QTest::newRow("channel 8 off")
            << 1 << 0x18 << hex("08 00") << hex("CA 20 01 18 02 08 00 F2");
        QTest::newRow("channel 1 on bc")
            << 254 << 0x18 << hex("01 01") << hex("CA 20 FE 18 02 01 01 FB");
        QTest::newRow("channel 1 on a0")
            << 0 << 0x18 << hex("01 01") << hex("CA 20 00 18 02 01 01 F9");
        QTest::newRow("channel 3 on bc")
            << 254 << 0x18 << hex("03 01") << hex("CA 20 FE 18 02 03 01 F9");
        QTest::newRow("all on") << 1 << 0x19 << hex("FF FF 01")
                                << hex("CA 20 01 19 03 FF FF 01 F9");
        QTest::newRow("all off") << 1 << 0x19 << hex("FF 00 02")
                                 << hex("CA 20 01 19 03 FF 00 02 F7");
        QTest::newRow("all on bc")
            << 254 << 0x19 << hex("FF FF 01") << hex("CA 20 FE 19 03 FF FF 01 FC");
        QTest::newRow("multi start")
            << 1 << 0x19 << hex("FF FF 00") << hex("CA 20 01 19 03 FF FF 00 FA");
        QTest::newRow("multi 15 min")
            << 1 << 0x19 << hex("05 05 8F") << hex("CA 20 01 19 03 05 05 8F 5F");
        QTest::newRow("multi 1-4 off")
            << 1 << 0x19 << hex("0F 00 00") << hex("CA 20 01 19 03 0F 00 00 E9");
        QTest::newRow("keys lock") << 1 << 0xCF << hex("00") << hex("CA 20 01 CF 01 00 44");
        QTest::newRow("keys unlock") << 1 << 0xCF << hex("01") << hex("CA 20 01 CF 01 01 43");
        QTest::newRow("keys lock bc") << 254 << 0xCF << hex("00") << hex("CA 20 FE CF 01 00 47");
        // The length byte counts at most 255 data bytes; one more would wrap it to 00.
        QTest::newRow("255 data bytes")
            << 1 << 0xCC << QByteArray(255, '\0')
            << hex("CA 20 01 CC FF") + QByteArray(255, '\0') + hex("49");
        QTest::newRow("256 data bytes") << 1 << 0xCC << QByteArray(256, '\0') << QByteArray();
    }
    void commandFrame() {
        QFETCH(int, address);
        QFETCH(int, command);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        const QByteArray frame = vesk::commandFrame(quint8(address), quint8(command), data);
        QCOMPARE(frame.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
        if (frame.isEmpty())
            return;
        // Every frame with a checksum trailer adds up to 0xFF.
        unsigned sum = 0;
        for (char c : frame)
            sum += quint8(c);
        QCOMPARE(sum % 256, 0xFFu);
    }

    void checksumWrapsAndCountsStartByte() {
        // The sum exceeds 255 many times over; only its low byte counts.
        QCOMPARE(vesk::checksum(hex("FF FF FF FF")), quint8(255 - (0x3FC % 256)));
        QCOMPARE(vesk::checksum(hex("CA")), quint8(0x35));
        QCOMPARE(vesk::checksum(QByteArray()), quint8(0xFF));
        QCOMPARE(statusQueryFrame(254), hex("CA 20 FE 20 01 01 F5"));
    }

    void hexText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("leading zero") << hex("0A FF 01") << QStringLiteral("0A FF 01 ");
        QTest::newRow("zero byte") << hex("00") << QStringLiteral("00 ");
        QTest::newRow("frame") << hex("CA 20 01 18 02 03 01 F6")
                               << QStringLiteral("CA 20 01 18 02 03 01 F6 ");
    }
    void hexText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(vesk::hexText(bytes), text);
        QCOMPARE(vesk::hexText(bytes).size(), 3 * bytes.size());
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
