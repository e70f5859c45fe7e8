// Receive path: bytes arriving in chunks with random gaps -> batches -> display text and lamps.
// Input: records of [gap in ms (0..63)] [length] [bytes ...]. The model plays the serial driver
// (it keeps what the batch has no room for) and the quiet-gap timer (it takes a batch when due).
#include "core/frames.h"
#include "core/reply.h"

#include "require.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

using namespace vesk;

namespace {

constexpr int Gap = 20;
constexpr qsizetype Capacity = 64; // small, so that full batches happen often

void checkDecoding(const QByteArray& batch) {
    const QString text = replyText(batch);
    const QString prefix = QStringLiteral("设备返回：");
    require(text.startsWith(prefix));
    require(text.size() == prefix.size() + 3 * batch.size());
    // Upper-case hex pairs, each followed by a blank, that read back to the bytes.
    const QString hex = text.mid(prefix.size());
    require(hex == hex.toUpper());
    for (qsizetype i = 2; i < hex.size(); i += 3)
        require(hex.at(i) == QLatin1Char(' '));
    require(QByteArray::fromHex(hex.toLatin1()) == batch);
    const auto lamps = lampStates(batch);
    require(lamps.has_value() == (batch.size() == StatusReplyLength));
    if (lamps)
        for (int k = 0; k < 8; ++k)
            require((*lamps)[k] == bool((quint8(batch.at(StateByte)) >> k) & 1));
}

struct Model {
    BatchAssembler assembler{Gap, Capacity};
    QByteArray driver; // bytes received but not yet taken into the batch
    qint64 now = 0;
    QByteArray delivered;
    std::vector<qint64> lastArrivalOfBatch;

    void pull() {
        const qsizetype taken = assembler.receive(now, driver);
        driver.remove(0, taken);
    }
    // The quiet-gap timer: hand on the batch once due, then refill from the driver.
    void advanceTo(qint64 t) {
        while (true) {
            const auto due = assembler.dueAt();
            if (!due || *due > t)
                break;
            require(assembler.takeDue(*due - 1).isEmpty()); // not a millisecond early
            now = *due;
            const QByteArray batch = assembler.takeDue(now);
            require(!batch.isEmpty() && batch.size() <= Capacity);
            require(assembler.isEmpty() && assembler.room() == Capacity);
            checkDecoding(batch);
            delivered += batch;
            if (!driver.isEmpty())
                pull();
        }
        now = t;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Model m;
    QByteArray sent;
    std::size_t i = 0;
    while (i + 2 <= size) {
        const int gap = data[i] % 64;
        const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
        const QByteArray chunk(reinterpret_cast<const char*>(data + i + 2), qsizetype(len));
        i += 2 + len;

        const qsizetype deliveredBefore = m.delivered.size();
        m.advanceTo(m.now + gap);
        // A batch ends only at a quiet gap: arrivals closer together never split it.
        if (gap < Gap)
            require(m.delivered.size() == deliveredBefore);
        m.driver += chunk;
        sent += chunk;
        m.pull();
        require(m.assembler.room() >= 0);
    }
    m.advanceTo(m.now + 1'000'000);
    require(m.driver.isEmpty());
    // Nothing lost, nothing duplicated, order kept.
    require(m.delivered == sent);
    return 0;
}
