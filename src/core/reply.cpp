#include "reply.h"

#include "core/frames.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace vesk {

QString replyText(QByteArrayView batch) {
    return QCoreApplication::translate("vesk::Reply", "设备返回：%1").arg(hexText(batch));
}

QString notStatusReplyNote() {
    return QCoreApplication::translate("vesk::Reply", "（不是状态应答，指示灯未变）");
}

std::optional<std::array<bool, 8>> lampStates(QByteArrayView batch) {
    if (batch.size() != StatusReplyLength)
        return std::nullopt;
    const auto state = static_cast<quint8>(batch.at(StateByte));
    std::array<bool, 8> on{};
    for (int k = 0; k < 8; ++k)
        on[k] = (state >> k) & 1;
    return on;
}

bool isStatusReply(QByteArrayView bytes) {
    // The frame builder is the one statement of the reply's layout and checksum.
    return bytes.size() == StatusReplyLength &&
           bytes == statusReplyFrame(quint8(bytes.at(2)), quint8(bytes.at(StateByte)));
}

bool isStatusReplyFrom(QByteArrayView bytes, quint8 address) {
    return isStatusReply(bytes) && quint8(bytes.at(2)) == address;
}

qsizetype BatchAssembler::receive(qint64 nowMs, QByteArrayView bytes) {
    m_lastArrival = nowMs;
    const qsizetype taken = std::min(room(), bytes.size());
    m_pending.append(bytes.first(taken));
    return taken;
}

std::optional<qint64> BatchAssembler::dueAt() const {
    if (m_pending.isEmpty())
        return std::nullopt;
    return m_lastArrival + m_gapMs;
}

QByteArray BatchAssembler::takeDue(qint64 nowMs) {
    const auto due = dueAt();
    if (!due || nowMs < *due)
        return {};
    return takeAll();
}

QByteArray BatchAssembler::takeAll() {
    return std::exchange(m_pending, QByteArray());
}

} // namespace vesk
