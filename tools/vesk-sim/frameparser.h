// Cuts the raw byte stream from the serial line into frames and reports what does not fit.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace vesk::sim {

enum class ParseIssue {
    None,           // a complete, well-formed frame
    BadChecksum,    // the last byte is not the checksum of the others
    BadEndByte,     // a parameter write that does not end in 0xAC
    BadLength,      // N does not fit the command (or the value count of a parameter write)
    UnknownCommand, // a well-formed frame with a command the controller does not know
    Garbage,        // bytes that start no frame
    Incomplete,     // a frame that stopped arriving before it was complete
};

// Short text for the log ("bad checksum").
QString issueText(ParseIssue issue);

struct ParseEvent {
    ParseIssue issue = ParseIssue::None;
    QByteArray bytes;

    bool isFrame() const { return issue == ParseIssue::None; }
    bool operator==(const ParseEvent&) const = default;
};

// Stream parser. Frames start with CA 20 and are 6 + N bytes long, N being byte 4. The last byte
// is the checksum, except for a parameter write (0xCC), which ends in 0xAC. After every problem
// the parser resyncs on the next CA 20 following the start of the rejected bytes, so a frame that
// follows a damaged one is still found; bytes already reported are not reported a second time.
//
// Time is passed in by the caller (milliseconds on any monotonic clock). A partial frame that
// receives no byte for more than IncompleteTimeoutMs is reported as Incomplete by the next call.
class FrameParser {
public:
    static constexpr qint64 IncompleteTimeoutMs = 50;

    std::vector<ParseEvent> feed(QByteArrayView bytes, qint64 nowMs);

    // Reports a partial frame that has gone stale by nowMs. Call it when expiryTimeMs() is due.
    std::vector<ParseEvent> expire(qint64 nowMs);

    bool hasPartial() const { return !m_buffer.isEmpty(); }
    // The time from which expire() reports the partial frame; only meaningful with hasPartial().
    qint64 expiryTimeMs() const { return m_lastByteMs + IncompleteTimeoutMs + 1; }

private:
    void scan(std::vector<ParseEvent>& out);
    void emitEvent(std::vector<ParseEvent>& out, ParseIssue issue, QByteArray bytes);
    void reject(std::vector<ParseEvent>& out, ParseIssue issue, qsizetype length);
    void consume(qsizetype length);
    void dropByte();
    void flushGarbage(std::vector<ParseEvent>& out);

    QByteArray m_buffer;
    QByteArray m_garbage;     // skipped bytes not yet reported, merged into one report
    qsizetype m_reported = 0; // leading bytes of m_buffer that a report already showed
    qint64 m_lastByteMs = 0;
};

} // namespace vesk::sim
