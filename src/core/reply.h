// What the console makes of received bytes: batches cut at quiet gaps on the line, the display
// text of a batch and the lamp states a status reply carries.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace vesk {

// A status reply is six bytes; its fifth byte holds the channel states, bit k for channel k + 1.
inline constexpr int StatusReplyLength = 6;
inline constexpr int StateByte = 4;

// The display text for a batch: "设备返回：" and the bytes in hex.
QString replyText(QByteArrayView batch);

// The note the console adds to the display text of a batch that is not a status reply.
QString notStatusReplyNote();

// Whether `bytes` is exactly one status reply, from any controller: six bytes, the header CA 20,
// the status command and a checksum that adds up. Line noise and the overlaid replies of several
// controllers answering one broadcast fail it.
bool isStatusReply(QByteArrayView bytes);

// Whether `bytes` is exactly one status reply (isStatusReply()) from `address`. Such a reply is
// complete at its sixth byte, so a program that asked for it need not wait for the quiet gap.
bool isStatusReplyFrom(QByteArrayView bytes, quint8 address);

// The eight lamp states (true = on, channel 1 first) that a six-byte batch carries in its state
// byte, otherwise nullopt. It reads; whether the batch is a reply at all is isStatusReply()'s to
// say.
std::optional<std::array<bool, 8>> lampStates(QByteArrayView batch);

// Collects received bytes into batches. A batch is complete once the line has been quiet for
// quietGapMs after its last byte. It never holds more than `capacity` bytes: what does not fit
// stays with the driver (room() tells how much may be taken), so line noise cannot grow memory.
class BatchAssembler {
public:
    BatchAssembler(int quietGapMs, qsizetype capacity)
        : m_gapMs(quietGapMs), m_capacity(capacity) {}

    qsizetype room() const { return m_capacity - m_pending.size(); }
    bool isEmpty() const { return m_pending.isEmpty(); }
    QByteArrayView pending() const { return m_pending; }

    // Bytes arrived at nowMs. Takes at most room() of them and returns how many it took. Any
    // arrival, even one that does not fit, counts as line activity and restarts the quiet gap.
    qsizetype receive(qint64 nowMs, QByteArrayView bytes);

    // The moment the pending batch is complete, or nullopt when nothing is pending.
    std::optional<qint64> dueAt() const;

    // The pending batch if it is complete at nowMs (otherwise an empty array); empties it.
    QByteArray takeDue(qint64 nowMs);
    // The pending bytes whatever the time; empties the batch.
    QByteArray takeAll();

private:
    int m_gapMs;
    qsizetype m_capacity;
    QByteArray m_pending;
    qint64 m_lastArrival = 0;
};

} // namespace vesk
