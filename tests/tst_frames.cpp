// Every frame builder, byte for byte, against the frames the controller documents and expects.
#include <QTest>

#include <functional>

#include "core/delaylogic.h"
#include "core/frames.h"
#include "core/reply.h"

using namespace vesk;

namespace {
QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
using Build = std::function<QByteArray()>;
} // namespace

Q_DECLARE_METATYPE(Build)

class TestFrames : public QObject {
    Q_OBJECT
private slots:
    void builders_data() {
        QTest::addColumn<Build>("build");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, Build build, const char* expected) {
            QTest::newRow(name) << build << hex(expected);
        };
        row(
            "query 1", [] { return statusQueryFrame(1); }, "CA 20 01 20 01 01 F2");
        row(
            "query broadcast", [] { return statusQueryFrame(254); }, "CA 20 FE 20 01 01 F5");
        row(
            "query 0", [] { return statusQueryFrame(0); }, "CA 20 00 20 01 01 F3");
        row(
            "reply ch1,3", [] { return statusReplyFrame(1, 0x05); }, "CA 20 01 20 05 EF");
        row(
            "ch3 on", [] { return switchFrame(1, 3, true); }, "CA 20 01 18 02 03 01 F6");
        row(
            "ch8 off", [] { return switchFrame(1, 8, false); }, "CA 20 01 18 02 08 00 F2");
        row(
            "ch1 on bc", [] { return switchFrame(254, 1, true); }, "CA 20 FE 18 02 01 01 FB");
        row(
            "ch3 on bc", [] { return switchFrame(254, 3, true); }, "CA 20 FE 18 02 03 01 F9");
        row(
            "ch1 on a0", [] { return switchFrame(0, 1, true); }, "CA 20 00 18 02 01 01 F9");
        row(
            "all on", [] { return timedAllFrame(1, true); }, "CA 20 01 19 03 FF FF 01 F9");
        row(
            "all off", [] { return timedAllFrame(1, false); }, "CA 20 01 19 03 FF 00 02 F7");
        row(
            "all on bc", [] { return timedAllFrame(254, true); }, "CA 20 FE 19 03 FF FF 01 FC");
        row(
            "multi start-up", [] { return multiSwitchFrame(1, 0xFF, 0xFF, timingCode(0, 0)); },
            "CA 20 01 19 03 FF FF 00 FA");
        row(
            "multi 1,3 on 15 min",
            [] { return multiSwitchFrame(1, 0x05, 0x05, timingCode(1, 15)); },
            "CA 20 01 19 03 05 05 8F 5F");
        row(
            "multi 1-4 off", [] { return multiSwitchFrame(1, 0x0F, 0x00, timingCode(2, 0)); },
            "CA 20 01 19 03 0F 00 00 E9");
        row(
            "keys lock", [] { return keyLockFrame(1, true); }, "CA 20 01 CF 01 00 44");
        row(
            "keys unlock", [] { return keyLockFrame(1, false); }, "CA 20 01 CF 01 01 43");
        row(
            "keys lock bc", [] { return keyLockFrame(254, true); }, "CA 20 FE CF 01 00 47");
        row(
            "states all on", [] { return stateMaskFrame(1, 0xFF); },
            "CA 20 01 CC 04 00 11 01 FF AC");
        row(
            "states 2,8 off",
            [] {
                return stateMaskFrame(1, channelStateMask({0, 1, 0, 0, 0, 0, 0, 1}));
            },
            "CA 20 01 CC 04 00 11 01 7D AC");
        row(
            "states all off",
            [] {
                return stateMaskFrame(1, channelStateMask({1, 1, 1, 1, 1, 1, 1, 1}));
            },
            "CA 20 01 CC 04 00 11 01 00 AC");
        row(
            "power-on 1,3,8", [] { return stateMaskFrame(1, 0x85); },
            "CA 20 01 CC 04 00 11 01 85 AC");
        row(
            "mode before loss", [] { return powerOnModeFrame(1, false); },
            "CA 20 01 CC 04 00 15 01 FF AC");
        row(
            "mode user", [] { return powerOnModeFrame(1, true); }, "CA 20 01 CC 04 00 15 01 00 AC");
        row(
            "5200 pair 3-4", [] { return interlockMaskFrame(1, 0x04); },
            "CA 20 01 CC 04 00 1F 01 04 AC");
        row(
            "QX set 1-2", [] { return interlockPairFrame(1, 0, true); },
            "CA 20 01 CC 05 00 20 02 02 01 AC");
        row(
            "QX release 7-8", [] { return interlockPairFrame(1, 3, false); },
            "CA 20 01 CC 05 00 26 02 00 00 AC");
        row(
            "QX set 7-8", [] { return interlockPairFrame(1, 3, true); },
            "CA 20 01 CC 05 00 26 02 80 40 AC");
        row(
            "address 26", [] { return addressFrame(0x1A); }, "CA 20 FE CC 04 00 10 01 1A AC");
        row(
            "on-delays 1..8",
            [] {
                return delayFrame(1, true, {1, 2, 3, 4, 5, 6, 7, 8});
            },
            "CA 20 01 CC 13 00 30 10 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 AC");
        row(
            "off-delays 8..1",
            [] {
                return delayFrame(1, false, {8, 7, 6, 5, 4, 3, 2, 1});
            },
            "CA 20 01 CC 13 00 40 10 08 00 07 00 06 00 05 00 04 00 03 00 02 00 01 00 AC");
        row(
            "delays base 255",
            [] {
                return delayFrame(1, true, {255, 256, 510, 65279, 0, 0, 0, 0});
            },
            "CA 20 01 CC 13 00 30 10 FF 00 01 01 00 02 FE FF 00 00 00 00 00 00 00 00 AC");
        // Values that look like frame delimiters go out as they are: no escaping.
        row(
            "delimiter values", [] { return interlockMaskFrame(0xCA, 0xAC); },
            "CA 20 CA CC 04 00 1F 01 AC AC");
        // The length byte counts at most 255 data bytes or 252 values; past that nothing is built.
        row(
            "255 data bytes", [] { return commandFrame(1, 0xCC, QByteArray(255, '\0')); },
            QByteArray("CA 20 01 CC FF" + QByteArray(255 * 2, '0') + "49").constData());
        row(
            "256 data bytes", [] { return commandFrame(1, 0xCC, QByteArray(256, '\0')); }, "");
        row(
            "253 values", [] { return parameterFrame(1, 0x30, QByteArray(253, '\0')); }, "");
    }
    void builders() {
        QFETCH(Build, build);
        QFETCH(QByteArray, expected);
        const QByteArray frame = build();
        QCOMPARE(frame.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
        // Every frame with a checksum trailer adds up to 0xFF.
        if (!frame.isEmpty() && quint8(frame.back()) != ParameterEnd) {
            unsigned sum = 0;
            for (char c : frame)
                sum += quint8(c);
            QCOMPARE(sum % 256, 0xFFu);
        }
    }

    void hexText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("leading zero") << hex("0A FF 01") << QStringLiteral("0A FF 01 ");
        QTest::newRow("frame") << hex("CA 20 01 18 02 03 01 F6")
                               << QStringLiteral("CA 20 01 18 02 03 01 F6 ");
    }
    void hexText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(vesk::hexText(bytes), text);
    }

    // Only exactly one reply from the address asked may end a batch before the quiet gap.
    void completeReply_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("complete");
        QTest::newRow("reply from 1") << hex("CA 20 01 20 05 EF") << 1 << true;
        QTest::newRow("reply from 254") << statusReplyFrame(254, 0xFF) << 254 << true;
        QTest::newRow("another address") << hex("CA 20 01 20 05 EF") << 2 << false;
        QTest::newRow("bad checksum") << hex("CA 20 01 20 05 EE") << 1 << false;
        QTest::newRow("five bytes") << hex("CA 20 01 20 05") << 1 << false;
        QTest::newRow("seven bytes") << hex("CA 20 01 20 05 EF 00") << 1 << false;
        QTest::newRow("noise first") << hex("00 CA 20 01 20 05") << 1 << false;
        QTest::newRow("query echo") << statusQueryFrame(1) << 1 << false;
    }
    void completeReply() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, address);
        QFETCH(bool, complete);
        QCOMPARE(isStatusReplyFrom(bytes, quint8(address)), complete);
    }

    // What a shared line lets through: whole frames by their length byte, checked by their last
    // byte; the start of one waits for the rest; anything else is refused.
    void cutFrame_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind"); // FrameCut::Kind
        QTest::addColumn<int>("length");
        using Kind = vesk::FrameCut::Kind;
        const QByteArray on = vesk::switchFrame(3, 2, true);
        const QByteArray mask = vesk::stateMaskFrame(3, 0x0F);
        QByteArray badSum = on, badEnd = mask;
        badSum[7] = char(badSum[7] + 1);
        badEnd[badEnd.size() - 1] = 0;
        QTest::newRow("switch") << on << int(Kind::Whole) << 8;
        QTest::newRow("switch, then more") << on + on.left(3) << int(Kind::Whole) << 8;
        QTest::newRow("parameter frame") << mask << int(Kind::Whole) << int(mask.size());
        QTest::newRow("status query") << vesk::statusQueryFrame(254) << int(Kind::Whole) << 7;
        QTest::newRow("empty") << QByteArray() << int(Kind::Partial) << 0;
        QTest::newRow("head only") << on.left(4) << int(Kind::Partial) << 0;
        QTest::newRow("all but the checksum") << on.left(7) << int(Kind::Partial) << 0;
        QTest::newRow("wrong checksum") << badSum << int(Kind::Invalid) << 0;
        QTest::newRow("parameter frame, no end byte") << badEnd << int(Kind::Invalid) << 0;
        QTest::newRow("text") << QByteArray("on 3\n") << int(Kind::Invalid) << 0;
        QTest::newRow("second byte wrong") << QByteArray("\xCA\x21") << int(Kind::Invalid) << 0;
    }
    void cutFrame() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        QFETCH(int, length);
        const vesk::FrameCut cut = vesk::cutFrame(bytes);
        QCOMPARE(int(cut.kind), kind);
        QCOMPARE(cut.length, length);
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
