#include "frameparser.h"

#include "protocol.h"

#include <algorithm>

namespace vesk::sim {

QString issueText(ParseIssue issue) {
    switch (issue) {
    case ParseIssue::None:
        return QStringLiteral("frame");
    case ParseIssue::BadChecksum:
        return QStringLiteral("bad checksum");
    case ParseIssue::BadEndByte:
        return QStringLiteral("bad end byte");
    case ParseIssue::BadLength:
        return QStringLiteral("bad length");
    case ParseIssue::UnknownCommand:
        return QStringLiteral("unknown command");
    case ParseIssue::Garbage:
        return QStringLiteral("garbage");
    case ParseIssue::Incomplete:
        return QStringLiteral("incomplete frame");
    }
    return QStringLiteral("unknown issue");
}

std::vector<ParseEvent> FrameParser::feed(QByteArrayView bytes, qint64 nowMs) {
    std::vector<ParseEvent> out = expire(nowMs);
    if (bytes.isEmpty())
        return out;
    m_buffer.append(bytes);
    m_lastByteMs = nowMs;
    scan(out);
    return out;
}

std::vector<ParseEvent> FrameParser::expire(qint64 nowMs) {
    std::vector<ParseEvent> out;
    if (!hasPartial() || nowMs < expiryTimeMs())
        return out;
    // Nothing more will complete the partial frame. A frame may still start inside it (when a
    // damaged length byte made the parser wait for too much), so rescan from its second byte;
    // what is left after that is stale as well.
    reject(out, ParseIssue::Incomplete, m_buffer.size());
    scan(out);
    m_buffer.clear();
    m_reported = 0;
    return out;
}

void FrameParser::scan(std::vector<ParseEvent>& out) {
    while (!m_buffer.isEmpty()) {
        const auto at = [this](qsizetype i) { return static_cast<quint8>(m_buffer.at(i)); };
        if (at(0) != FrameStart || (m_buffer.size() >= 2 && at(1) != FrameSecond)) {
            dropByte();
            continue;
        }
        if (m_buffer.size() < HeaderSize)
            break;

        const quint8 command = at(3);
        const int dataLength = at(4);
        const CommandShape* shape = findCommand(command);
        if (shape && shape->dataLength >= 0 && dataLength != shape->dataLength) {
            reject(out, ParseIssue::BadLength, HeaderSize);
            continue;
        }
        if (shape && shape->dataLength < 0) {
            if (m_buffer.size() < ParameterHeaderSize)
                break;
            if (dataLength != at(ParameterHeaderSize - 1) + 3) {
                reject(out, ParseIssue::BadLength, ParameterHeaderSize);
                continue;
            }
        }

        const qsizetype length = FrameOverhead + dataLength;
        if (m_buffer.size() < length)
            break;
        const quint8 last = at(length - 1);
        if (command == Cmd::ParameterWrite) {
            if (last != ParameterEnd) {
                reject(out, ParseIssue::BadEndByte, length);
                continue;
            }
        } else if (last != checksum(QByteArrayView(m_buffer).first(length - 1))) {
            reject(out, ParseIssue::BadChecksum, length);
            continue;
        }
        emitEvent(out, shape ? ParseIssue::None : ParseIssue::UnknownCommand,
                  m_buffer.first(length));
        consume(length);
    }
    flushGarbage(out);
}

void FrameParser::emitEvent(std::vector<ParseEvent>& out, ParseIssue issue, QByteArray bytes) {
    flushGarbage(out);
    out.push_back({issue, std::move(bytes)});
}

void FrameParser::reject(std::vector<ParseEvent>& out, ParseIssue issue, qsizetype length) {
    emitEvent(out, issue, m_buffer.first(length));
    m_reported = std::max(m_reported, length);
    dropByte();
}

void FrameParser::consume(qsizetype length) {
    m_buffer.remove(0, length);
    m_reported = std::max<qsizetype>(0, m_reported - length);
}

void FrameParser::dropByte() {
    if (m_reported > 0)
        --m_reported;
    else
        m_garbage.append(m_buffer.at(0));
    m_buffer.remove(0, 1);
}

void FrameParser::flushGarbage(std::vector<ParseEvent>& out) {
    if (m_garbage.isEmpty())
        return;
    out.push_back({ParseIssue::Garbage, m_garbage});
    m_garbage.clear();
}

} // namespace vesk::sim
