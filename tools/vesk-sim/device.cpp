#include "device.h"

#include "protocol.h"

#include "core/frames.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace vesk::sim {

namespace {

QString hexByte(quint8 value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

int partnerOf(int channel) {
    return channel % 2 == 1 ? channel + 1 : channel - 1;
}
int pairOf(int channel) {
    return (channel - 1) / 2;
}
quint8 bitOf(int channel) {
    return static_cast<quint8>(1u << (channel - 1));
}

// Timing code of command 0x19, top two bits: 01 seconds, 10 minutes, 11 hours.
constexpr quint8 UnitMask = 0xC0;
constexpr quint8 CountMask = 0x3F;
constexpr quint8 TimingAtOnce = 0x00;
constexpr quint8 TimingOnDelays = 0x01;
constexpr quint8 TimingOffDelays = 0x02;

} // namespace

const std::array<Device::CommandEntry, 5> Device::Commands{{
    {Cmd::StatusQuery, &Device::statusQuery},
    {Cmd::SwitchChannel, &Device::switchChannel},
    {Cmd::TimedSwitch, &Device::timedSwitch},
    {Cmd::KeyLock, &Device::keyLock},
    {Cmd::ParameterWrite, &Device::parameterWrite},
}};

const std::array<Device::ParameterEntry, 10> Device::Parameters{{
    {Param::Address, 1, &Device::writeAddress},
    {Param::StateMask, 1, &Device::writeStateMask},
    {Param::PowerOnMode, 1, &Device::writePowerOnMode},
    {Param::InterlockPairs, 1, &Device::writeInterlockPairs},
    {Param::FirstPair, 2, &Device::writePair},
    {Param::FirstPair + 2, 2, &Device::writePair},
    {Param::FirstPair + 4, 2, &Device::writePair},
    {Param::FirstPair + 6, 2, &Device::writePair},
    {Param::OnDelays, 2 * ChannelCount, &Device::writeDelays},
    {Param::OffDelays, 2 * ChannelCount, &Device::writeDelays},
}};

std::optional<quint16> decodeDelay(quint8 low, quint8 high, QString* reason) {
    const int value = high * 255 + low;
    QString problem;
    if (value > MaxDelaySeconds)
        problem = QStringLiteral("delay %1 above %2").arg(value).arg(MaxDelaySeconds);
    else if (low == 255 && high != 0)
        problem = QStringLiteral("low byte 255 with high byte %1").arg(high);
    if (problem.isEmpty())
        return static_cast<quint16>(value);
    if (reason)
        *reason = problem;
    return std::nullopt;
}

Device::Device(quint8 address, double timeScale)
    : m_timeScale(std::isfinite(timeScale) && timeScale > 0 ? timeScale : 1.0) {
    m_state.address = address;
}

Device::Result Device::handleFrame(QByteArrayView frame) {
    ++m_state.framesReceived;
    Result result;
    if (frame.size() < FrameOverhead ||
        frame.size() != FrameOverhead + static_cast<quint8>(frame[4])) {
        ++m_state.malformed;
        return {Outcome::Rejected, {}, QStringLiteral("bad length")};
    }
    if (!accepts(static_cast<quint8>(frame[2]))) {
        ++m_state.ignored;
        return {Outcome::Ignored, {}, {}};
    }
    const auto command = static_cast<quint8>(frame[3]);
    const auto entry = std::find_if(Commands.begin(), Commands.end(),
                                    [command](const CommandEntry& e) { return e.code == command; });
    if (entry == Commands.end()) {
        ++m_state.malformed;
        return {Outcome::Rejected, {}, QStringLiteral("unknown command %1").arg(hexByte(command))};
    }
    const QByteArrayView data = frame.sliced(HeaderSize, frame.size() - FrameOverhead);
    result.reason = (this->*(entry->handler))(data, result.reply);
    if (!result.reason.isEmpty()) {
        ++m_state.malformed;
        result.outcome = Outcome::Rejected;
        result.reply.clear();
    }
    return result;
}

QString Device::statusQuery(QByteArrayView data, QByteArray& reply) {
    if (static_cast<quint8>(data[0]) != 0x01)
        return QStringLiteral("status query data %1").arg(hexByte(quint8(data[0])));
    reply = statusReplyFrame(m_state.address, m_state.channels);
    return {};
}

QString Device::switchChannel(QByteArrayView data, QByteArray&) {
    const int channel = static_cast<quint8>(data[0]);
    const auto state = static_cast<quint8>(data[1]);
    if (channel < 1 || channel > ChannelCount)
        return QStringLiteral("channel %1 out of range").arg(channel);
    if (state > 1)
        return QStringLiteral("switch state %1").arg(hexByte(state));
    if (m_ignoreSwitches) {
        report(QStringLiteral("switch of channel %1 ignored").arg(channel));
        return {};
    }
    setChannel(channel, state == 1, {});
    return {};
}

QString Device::timedSwitch(QByteArrayView data, QByteArray&) {
    const auto selection = static_cast<quint8>(data[0]);
    const auto targets = static_cast<quint8>(data[1]);
    const auto code = static_cast<quint8>(data[2]);
    const quint8 unit = code & UnitMask;
    if (unit == 0 && code != TimingAtOnce && code != TimingOnDelays && code != TimingOffDelays)
        return QStringLiteral("timing code %1").arg(hexByte(code));

    static constexpr std::array<qint64, 4> UnitSeconds{0, 1, 60, 3600};
    for (int channel = 1; channel <= ChannelCount; ++channel) {
        if (!(selection & bitOf(channel)))
            continue;
        qint64 seconds = 0;
        if (unit != 0)
            seconds = UnitSeconds[unit >> 6] * (code & CountMask);
        else if (code == TimingOnDelays)
            seconds = m_state.onDelays[channel - 1];
        else if (code == TimingOffDelays)
            seconds = m_state.offDelays[channel - 1];
        schedule(channel, targets & bitOf(channel), scaledMs(seconds));
    }
    runDue();
    return {};
}

QString Device::keyLock(QByteArrayView data, QByteArray&) {
    const auto value = static_cast<quint8>(data[0]);
    if (value > 1)
        return QStringLiteral("key lock value %1").arg(hexByte(value));
    const bool locked = value == 0;
    if (locked != m_state.keysLocked)
        report(locked ? QStringLiteral("front-panel keys locked")
                      : QStringLiteral("front-panel keys unlocked"));
    m_state.keysLocked = locked;
    return {};
}

QString Device::parameterWrite(QByteArrayView data, QByteArray&) {
    // data: 00, parameter, value count, values; the parser has matched N with the value count.
    if (data.size() < 3 || data.size() != 3 + static_cast<quint8>(data[2]))
        return QStringLiteral("bad value count");
    if (data[0] != 0)
        return QStringLiteral("parameter high byte %1").arg(hexByte(quint8(data[0])));
    const auto parameter = static_cast<quint8>(data[1]);
    const auto entry =
        std::find_if(Parameters.begin(), Parameters.end(),
                     [parameter](const ParameterEntry& e) { return e.parameter == parameter; });
    if (entry == Parameters.end())
        return QStringLiteral("unknown parameter %1").arg(hexByte(parameter));
    const QByteArrayView values = data.sliced(3);
    if (values.size() != entry->valueCount)
        return QStringLiteral("parameter %1 takes %2 values, got %3")
            .arg(hexByte(parameter))
            .arg(entry->valueCount)
            .arg(values.size());
    return (this->*(entry->handler))(parameter, values);
}

QString Device::writeAddress(quint8, QByteArrayView values) {
    const auto address = static_cast<quint8>(values[0]);
    m_state.pendingAddress = address;
    report(QStringLiteral("address %1 written, takes effect at restart").arg(address));
    return {};
}

QString Device::writeStateMask(quint8, QByteArrayView values) {
    m_state.stateMask = static_cast<quint8>(values[0]);
    report(QStringLiteral("power-on state mask %1").arg(hexByte(m_state.stateMask)));
    return {};
}

QString Device::writePowerOnMode(quint8, QByteArrayView values) {
    const auto mode = static_cast<quint8>(values[0]);
    if (mode != PowerOnRestore && mode != PowerOnUserDefined)
        return QStringLiteral("power-on mode %1").arg(hexByte(mode));
    m_state.powerOnMode = mode;
    report(mode == PowerOnRestore ? QStringLiteral("power-on mode: state before power loss")
                                  : QStringLiteral("power-on mode: user-defined state"));
    return {};
}

QString Device::writeInterlockPairs(quint8, QByteArrayView values) {
    const auto mask = static_cast<quint8>(values[0]);
    if (mask & 0xF0)
        return QStringLiteral("interlock mask %1 has bits beyond pair 4").arg(hexByte(mask));
    m_state.interlockPairs = mask;
    report(QStringLiteral("interlock pair mask %1").arg(hexByte(mask)));
    return {};
}

QString Device::writePair(quint8 parameter, QByteArrayView values) {
    const int pair = (parameter - Param::FirstPair) / 2;
    auto& stored = m_state.pairParams[pair];
    stored = {static_cast<quint8>(values[0]), static_cast<quint8>(values[1])};
    report(QStringLiteral("pair %1-%2 %3")
               .arg(2 * pair + 1)
               .arg(2 * pair + 2)
               .arg(stored[0] || stored[1] ? QStringLiteral("interlocked")
                                           : QStringLiteral("released")));
    return {};
}

QString Device::writeDelays(quint8 parameter, QByteArrayView values) {
    std::array<quint16, ChannelCount> delays{};
    for (int i = 0; i < ChannelCount; ++i) {
        QString reason;
        const auto value = decodeDelay(quint8(values[2 * i]), quint8(values[2 * i + 1]), &reason);
        if (!value)
            return QStringLiteral("channel %1: %2").arg(i + 1).arg(reason);
        delays[i] = *value;
    }
    const bool on = parameter == Param::OnDelays;
    (on ? m_state.onDelays : m_state.offDelays) = delays;
    QStringList text;
    for (quint16 delay : delays)
        text << QString::number(delay);
    report(QStringLiteral("%1-delays %2 s").arg(onOff(on), text.join(QLatin1Char(' '))));
    return {};
}

bool Device::pairInterlocked(int pair) const {
    const auto& values = m_state.pairParams[pair];
    return (m_state.interlockPairs & (1u << pair)) || values[0] || values[1];
}

void Device::setChannel(int channel, bool on, const QString& cause) {
    const quint8 bit = bitOf(channel);
    const quint8 before = m_state.channels;
    m_state.channels = on ? (before | bit) : (before & ~bit);
    if (m_state.channels != before)
        report(QStringLiteral("channel %1 %2%3").arg(channel).arg(onOff(on), cause));
    if (!on || !pairInterlocked(pairOf(channel)))
        return;
    const int partner = partnerOf(channel);
    if (m_state.channels & bitOf(partner)) {
        m_state.channels &= ~bitOf(partner);
        report(QStringLiteral("channel %1 off (interlocked with channel %2)")
                   .arg(partner)
                   .arg(channel));
    }
}

void Device::schedule(int channel, bool on, qint64 delayMs) {
    auto& pending = m_state.pending;
    const auto old =
        std::find_if(pending.begin(), pending.end(),
                     [channel](const PendingSwitch& p) { return p.channel == channel; });
    if (old != pending.end()) {
        report(QStringLiteral("pending switch of channel %1 replaced").arg(channel));
        pending.erase(old);
    }
    pending.push_back({channel, on, m_nowMs + delayMs, m_nextOrder++});
    if (delayMs > 0)
        report(QStringLiteral("channel %1 to switch %2 in %3 ms")
                   .arg(channel)
                   .arg(onOff(on))
                   .arg(delayMs));
}

qint64 Device::scaledMs(qint64 seconds) const {
    return std::llround(static_cast<double>(seconds) * 1000.0 / m_timeScale);
}

void Device::advance(qint64 ms) {
    const qint64 target = m_nowMs + std::max<qint64>(ms, 0);
    auto& pending = m_state.pending;
    for (;;) {
        const auto next = std::min_element(
            pending.begin(), pending.end(), [](const PendingSwitch& a, const PendingSwitch& b) {
                return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.order < b.order;
            });
        if (next == pending.end() || next->dueMs > target)
            break;
        const PendingSwitch due = *next;
        pending.erase(next);
        m_nowMs = std::max(m_nowMs, due.dueMs);
        setChannel(due.channel, due.on, {});
    }
    m_nowMs = target;
}

void Device::runDue() {
    advance(0);
}

std::optional<qint64> Device::msUntilNextSwitch() const {
    const auto& pending = m_state.pending;
    if (pending.empty())
        return std::nullopt;
    const auto next = std::min_element(
        pending.begin(), pending.end(),
        [](const PendingSwitch& a, const PendingSwitch& b) { return a.dueMs < b.dueMs; });
    return std::max<qint64>(0, next->dueMs - m_nowMs);
}

void Device::restart() {
    m_state.pending.clear();
    if (m_state.pendingAddress) {
        m_state.address = *m_state.pendingAddress;
        m_state.pendingAddress.reset();
    }
    report(QStringLiteral("restart, address %1").arg(m_state.address));
    if (m_state.powerOnMode != PowerOnUserDefined)
        return;
    // Switch the stored state on channel by channel, so that interlocks hold at power-on too.
    for (int channel = 1; channel <= ChannelCount; ++channel)
        setChannel(channel, m_state.stateMask & bitOf(channel), QStringLiteral(" (power-on)"));
}

void Device::report(const QString& line) const {
    if (m_sink)
        m_sink(line);
}

} // namespace vesk::sim
