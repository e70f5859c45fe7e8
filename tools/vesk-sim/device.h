// Model of one eight-channel power controller: its stored settings, its channel states and the
// handling of every command it understands. Time is driven by the caller through advance().
#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace vesk::sim {

inline constexpr int ChannelCount = 8;
inline constexpr int PairCount = 4;
inline constexpr int MaxDelaySeconds = 65279; // 255 * 255 + 254, the largest base-255 pair

inline constexpr quint8 PowerOnRestore = 0xFF;     // channels as before the power loss
inline constexpr quint8 PowerOnUserDefined = 0x00; // channels as the stored state mask

namespace Param {
inline constexpr quint8 Address = 0x10;
inline constexpr quint8 StateMask = 0x11;
inline constexpr quint8 PowerOnMode = 0x15;
inline constexpr quint8 InterlockPairs = 0x1F;
inline constexpr quint8 FirstPair = 0x20; // 0x20, 0x22, 0x24, 0x26: pairs 1-2, 3-4, 5-6, 7-8
inline constexpr quint8 OnDelays = 0x30;
inline constexpr quint8 OffDelays = 0x40;
} // namespace Param

// A switch that waits for its time; channels are 1..8.
struct PendingSwitch {
    int channel = 0;
    bool on = false;
    qint64 dueMs = 0;
    quint64 order = 0; // keeps switches due at the same time in the order they were set
};

struct DeviceState {
    quint8 address = 1;
    std::optional<quint8> pendingAddress; // written, takes effect at the next restart
    quint8 channels = 0;                  // bit k = channel k + 1 on
    std::array<quint16, ChannelCount> onDelays{1, 2, 3, 4, 5, 6, 7, 8};
    std::array<quint16, ChannelCount> offDelays{8, 7, 6, 5, 4, 3, 2, 1};
    quint8 stateMask = 0; // the user-defined power-on state
    quint8 powerOnMode = PowerOnRestore;
    quint8 interlockPairs = 0; // bit k = channels 2k + 1 and 2k + 2
    std::array<std::array<quint8, 2>, PairCount> pairParams{};
    bool keysLocked = false;
    quint64 framesReceived = 0;
    quint64 malformed = 0;
    quint64 ignored = 0;
    std::vector<PendingSwitch> pending;
};

class Device {
public:
    enum class Outcome { Applied, Ignored, Rejected };
    struct Result {
        Outcome outcome = Outcome::Applied;
        QByteArray reply;
        QString reason; // why the frame was rejected
    };
    // Receives one short readable line per change of state.
    using EventSink = std::function<void(const QString&)>;

    explicit Device(quint8 address = 1, double timeScale = 1.0);

    void setEventSink(EventSink sink) { m_sink = std::move(sink); }

    // Whether frames with this address byte are meant for the device (own address or broadcast).
    bool accepts(quint8 address) const {
        return address == m_state.address || address == BroadcastAddress;
    }
    // Handles one complete frame as the parser delivered it (checked head, length and trailer).
    Result handleFrame(QByteArrayView frame);
    // Counts input that the parser rejected.
    void noteMalformed() { ++m_state.malformed; }
    // While set, single-channel switch frames are taken but change nothing, like a relay that
    // does not follow (for testing read-back).
    void setIgnoreSwitches(bool ignore) { m_ignoreSwitches = ignore; }
    bool ignoresSwitches() const { return m_ignoreSwitches; }

    // Moves device time on by ms milliseconds, carrying out the switches that fall due.
    void advance(qint64 ms);
    qint64 nowMs() const { return m_nowMs; }
    // Milliseconds until the next pending switch is due, if any.
    std::optional<qint64> msUntilNextSwitch() const;

    // Power cycle: a written address takes effect, pending switches are dropped and the channels
    // take their power-on state.
    void restart();

    const DeviceState& state() const { return m_state; }
    bool pairInterlocked(int pair) const;

private:
    using CommandHandler = QString (Device::*)(QByteArrayView data, QByteArray& reply);
    using ParameterHandler = QString (Device::*)(quint8 parameter, QByteArrayView values);
    struct CommandEntry {
        quint8 code;
        CommandHandler handler;
    };
    struct ParameterEntry {
        quint8 parameter;
        int valueCount;
        ParameterHandler handler;
    };
    static const std::array<CommandEntry, 5> Commands;
    static const std::array<ParameterEntry, 10> Parameters;

    // Command handlers: return an empty string when applied, otherwise why the frame is rejected.
    QString statusQuery(QByteArrayView data, QByteArray& reply);
    QString switchChannel(QByteArrayView data, QByteArray& reply);
    QString timedSwitch(QByteArrayView data, QByteArray& reply);
    QString keyLock(QByteArrayView data, QByteArray& reply);
    QString parameterWrite(QByteArrayView data, QByteArray& reply);

    // Parameter handlers, one per parameter number.
    QString writeAddress(quint8 parameter, QByteArrayView values);
    QString writeStateMask(quint8 parameter, QByteArrayView values);
    QString writePowerOnMode(quint8 parameter, QByteArrayView values);
    QString writeInterlockPairs(quint8 parameter, QByteArrayView values);
    QString writePair(quint8 parameter, QByteArrayView values);
    QString writeDelays(quint8 parameter, QByteArrayView values);

    void setChannel(int channel, bool on, const QString& cause);
    void schedule(int channel, bool on, qint64 delayMs);
    qint64 scaledMs(qint64 seconds) const;
    void runDue();
    void report(const QString& line) const;

    DeviceState m_state;
    double m_timeScale;
    qint64 m_nowMs = 0;
    quint64 m_nextOrder = 0;
    EventSink m_sink;
    bool m_ignoreSwitches = false;
};

// Decodes one delay of the base-255 two-byte form (value = high * 255 + low). Rejects a low byte of
// 255 with a non-zero high byte, which has a canonical form of its own, and values above 65279.
std::optional<quint16> decodeDelay(quint8 low, quint8 high, QString* reason = nullptr);

} // namespace vesk::sim
