// Frame parser of the simulated controller: cutting the byte stream into frames, reporting
// malformed input and resyncing after it.
#include "frameparser.h"
#include "protocol.h"

#include <QTest>

using namespace vesk::sim;

namespace {

QByteArray hex(const char* text) {
    return *fromHex(QString::fromLatin1(text));
}

QStringList describe(const std::vector<ParseEvent>& events) {
    QStringList lines;
    for (const ParseEvent& event : events)
        lines << issueText(event.issue) + QStringLiteral(": ") + toHex(event.bytes);
    return lines;
}

} // namespace

class TestSimParser : public QObject {
    Q_OBJECT

private slots:
    void validFrame_data();
    void validFrame();
    void stream_data();
    void stream();
};

void TestSimParser::validFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    const char* const frames[] = {
        "CA 20 01 20 01 01 F2", "CA 20 FE 20 01 01 F5", "CA 20 00 20 01 01 F3",
        "CA 20 01 18 02 03 01 F6", "CA 20 01 18 02 08 00 F2", "CA 20 FE 18 02 01 01 FB",
        "CA 20 00 18 02 01 01 F9", "CA 20 FE 18 02 03 01 F9", "CA 20 01 19 03 FF FF 01 F9",
        "CA 20 01 19 03 FF 00 02 F7", "CA 20 FE 19 03 FF FF 01 FC", "CA 20 01 19 03 FF FF 00 FA",
        "CA 20 01 19 03 05 05 8F 5F", "CA 20 01 19 03 0F 00 00 E9", "CA 20 01 CF 01 00 44",
        "CA 20 01 CF 01 01 43", "CA 20 FE CF 01 00 47", "CA 20 01 CC 04 00 15 01 FF AC",
        "CA 20 01 CC 04 00 15 01 00 AC", "CA 20 01 CC 04 00 11 01 85 AC",
        "CA 20 01 CC 04 00 1F 01 04 AC", "CA 20 01 CC 05 00 20 02 02 01 AC",
        "CA 20 01 CC 05 00 26 02 00 00 AC", "CA 20 FE CC 04 00 10 01 1A AC",
        "CA 20 01 CC 13 00 30 10 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 00 AC",
        "CA 20 01 CC 13 00 40 10 08 00 07 00 06 00 05 00 04 00 03 00 02 00 01 00 AC",
        // Values equal to the start or end byte travel unescaped.
        "CA 20 01 CC 04 00 11 01 AC AC", "CA 20 01 CC 05 00 20 02 CA 20 AC"};
    for (const char* frame : frames)
        QTest::newRow(frame) << hex(frame);
}

// Every split point of the frame into two chunks, and single bytes, yield the one frame.
void TestSimParser::validFrame() {
    QFETCH(QByteArray, frame);
    const QStringList expected{QStringLiteral("frame: ") + toHex(frame)};
    for (qsizetype split = 0; split < frame.size(); ++split) {
        FrameParser parser;
        auto events = parser.feed(frame.first(split), 0);
        QVERIFY2(events.empty(), qPrintable(describe(events).join(u'|')));
        events = parser.feed(frame.sliced(split), 1);
        QCOMPARE(describe(events), expected);
        QVERIFY(!parser.hasPartial());
    }
    FrameParser parser;
    std::vector<ParseEvent> events;
    for (qsizetype i = 0; i < frame.size(); ++i) {
        auto more = parser.feed(frame.sliced(i, 1), i);
        events.insert(events.end(), more.begin(), more.end());
    }
    QCOMPARE(describe(events), expected);
}

// Chunks are "time: hex"; "time:" alone asks for the expiry of a partial frame at that time.
void TestSimParser::stream_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("expected");
    using L = QStringList;

    QTest::newRow("two frames back to back")
        << L{"0: CA 20 01 20 01 01 F2 CA 20 01 18 02 03 01 F6"}
        << L{"frame: CA 20 01 20 01 01 F2", "frame: CA 20 01 18 02 03 01 F6"};
    QTest::newRow("frames split across chunks")
        << L{"0: CA 20 01 20", "1: 01 01 F2 CA", "2: 20", "3: 01 18 02 03 01 F6 CA 20 01"}
        << L{"frame: CA 20 01 20 01 01 F2", "frame: CA 20 01 18 02 03 01 F6"};
    QTest::newRow("bad checksum, then a good frame")
        << L{"0: CA 20 01 20 01 01 F3 CA 20 01 20 01 01 F2"}
        << L{"bad checksum: CA 20 01 20 01 01 F3", "frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("parameter write without AC") << L{"0: CA 20 01 CC 04 00 15 01 FF AB"}
                                                << L{"bad end byte: CA 20 01 CC 04 00 15 01 FF AB"};
    QTest::newRow("parameter write with a checksum instead of AC")
        << L{"0: CA 20 01 CC 04 00 15 01 FF 21"}
        << L{"bad end byte: CA 20 01 CC 04 00 15 01 FF 21"};
    QTest::newRow("switch with N = 3") << L{"0: CA 20 01 18 03 03 01 00 F5"}
                                       << L{"bad length: CA 20 01 18 03", "garbage: 03 01 00 F5"};
    QTest::newRow("parameter N not value count + 3")
        << L{"0: CA 20 01 CC 05 00 15 01 FF AC CA 20 01 20 01 01 F2"}
        << L{"bad length: CA 20 01 CC 05 00 15 01", "garbage: FF AC",
             "frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("unknown command")
        << L{"0: CA 20 01 55 02 01 02 BA"} << L{"unknown command: CA 20 01 55 02 01 02 BA"};
    QTest::newRow("garbage in front")
        << L{"0: 00 FF 13 CA 00 CA 20 01 20 01 01 F2"}
        << L{"garbage: 00 FF 13 CA 00", "frame: CA 20 01 20 01 01 F2"};
    // The switch frame lost its last two bytes: the status query after it must still be found,
    // and the lost frame's bytes reported once.
    QTest::newRow("frame cut short, next frame follows")
        << L{"0: CA 20 01 18 02 03", "5: CA 20 01 20 01 01 F2"}
        << L{"bad checksum: CA 20 01 18 02 03 CA 20", "frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("truncated frame, no expiry at 50 ms") << L{"0: CA 20 01 18 02 03", "50:"} << L{};
    QTest::newRow("truncated frame expires after 50 ms")
        << L{"0: CA 20 01 18 02 03", "51:", "60: CA 20 01 20 01 01 F2"}
        << L{"incomplete frame: CA 20 01 18 02 03", "frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("stale partial reported when the next bytes come late")
        << L{"0: CA 20 01", "100: CA 20 01 20 01 01 F2"}
        << L{"incomplete frame: CA 20 01", "frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("slow bytes are no time-out")
        << L{"0: CA 20", "40: 01 20", "80: 01", "120: 01 F2"} << L{"frame: CA 20 01 20 01 01 F2"};
    QTest::newRow("lone start byte expires") << L{"0: CA", "51:"} << L{"incomplete frame: CA"};
    // A damaged length byte makes the parser wait for 255 data bytes; after the time-out the
    // frame inside the rejected bytes is still delivered.
    QTest::newRow("frame inside an expired partial")
        << L{"0: CA 20 01 55 FF CA 20 01 20 01 01 F2", "51:"}
        << L{"incomplete frame: CA 20 01 55 FF CA 20 01 20 01 01 F2",
             "frame: CA 20 01 20 01 01 F2"};
}

void TestSimParser::stream() {
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, expected);
    FrameParser parser;
    QStringList events;
    for (const QString& chunk : chunks) {
        const qint64 time = chunk.section(u':', 0, 0).toLongLong();
        const QString bytes = chunk.section(u':', 1).trimmed();
        events << describe(bytes.isEmpty() ? parser.expire(time)
                                           : parser.feed(*fromHex(bytes), time));
    }
    QCOMPARE(events, expected);
}

QTEST_GUILESS_MAIN(TestSimParser)
#include "tst_sim_parser.moc"
