#include "frames.h"

#include "core/delaylogic.h"

namespace vesk {

quint8 checksum(QByteArrayView bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(255 - (sum % 256));
}

QByteArray commandFrame(quint8 address, quint8 command, QByteArrayView data) {
    // The length byte cannot count more; a wrapped count would make the device misread the frame.
    if (data.size() > MaxCommandData)
        return {};
    QByteArray frame;
    frame.reserve(6 + data.size());
    frame.append(char(FrameStart));
    frame.append(char(FrameSecond));
    frame.append(char(address));
    frame.append(char(command));
    frame.append(char(data.size()));
    frame.append(data);
    frame.append(char(checksum(frame)));
    return frame;
}

QByteArray parameterFrame(quint8 address, quint8 parameter, QByteArrayView values) {
    if (values.size() > MaxParameterValues)
        return {};
    QByteArray data;
    data.reserve(3 + values.size());
    data.append(char(0x00));
    data.append(char(parameter));
    data.append(char(values.size()));
    data.append(values);
    // Same head and length byte as a command frame; the trailer is the fixed end byte instead
    // of the checksum.
    QByteArray frame = commandFrame(address, Cmd::ParameterWrite, data);
    frame[frame.size() - 1] = char(ParameterEnd);
    return frame;
}

FrameCut cutFrame(QByteArrayView bytes) {
    using Kind = FrameCut::Kind;
    const auto at = [&bytes](qsizetype i) { return static_cast<quint8>(bytes[i]); };
    if ((!bytes.isEmpty() && at(0) != FrameStart) || (bytes.size() > 1 && at(1) != FrameSecond))
        return {Kind::Invalid, 0, "no frame start"};
    // Head, address, command, length byte, the data it counts, and the trailer.
    if (bytes.size() < 5 || bytes.size() < 6 + at(4))
        return {Kind::Partial, 0, ""};
    const qsizetype length = 6 + at(4);
    const quint8 last = at(length - 1);
    if (at(3) == Cmd::ParameterWrite) {
        if (last != ParameterEnd)
            return {Kind::Invalid, 0, "bad end byte"};
    } else if (last != checksum(bytes.first(length - 1))) {
        return {Kind::Invalid, 0, "bad checksum"};
    }
    return {Kind::Whole, length, ""};
}

QByteArray parameterFrame(quint8 address, quint8 parameter, quint8 value) {
    const char values[] = {char(value)};
    return parameterFrame(address, parameter, QByteArrayView(values, 1));
}

QByteArray statusQueryFrame(quint8 address) {
    const char data[] = {0x01};
    return commandFrame(address, Cmd::StatusQuery, QByteArrayView(data, 1));
}

QByteArray statusReplyFrame(quint8 address, quint8 states) {
    QByteArray frame;
    frame.append(char(FrameStart)).append(char(FrameSecond));
    frame.append(char(address)).append(char(Cmd::StatusQuery)).append(char(states));
    frame.append(char(checksum(frame)));
    return frame;
}

QByteArray switchFrame(quint8 address, int channel, bool on) {
    const char data[2] = {char(channel), char(on ? 0x01 : 0x00)};
    return commandFrame(address, Cmd::SwitchChannel, QByteArrayView(data, 2));
}

QByteArray timedAllFrame(quint8 address, bool on) {
    const char data[3] = {char(0xFF), char(on ? 0xFF : 0x00), char(on ? 0x01 : 0x02)};
    return commandFrame(address, Cmd::TimedSwitch, QByteArrayView(data, 3));
}

QByteArray multiSwitchFrame(quint8 address, quint8 selection, quint8 targets, quint8 timing) {
    const char data[3] = {char(selection), char(targets), char(timing)};
    return commandFrame(address, Cmd::TimedSwitch, QByteArrayView(data, 3));
}

quint8 timingCode(int unitPosition, int number) {
    if (number <= 0)
        return 0;
    const quint8 units[3] = {0x40, 0x80, 0xC0};
    const quint8 unit = unitPosition >= 0 && unitPosition < 3 ? units[unitPosition] : 0;
    return quint8(unit | (number & 0x3F));
}

QByteArray keyLockFrame(quint8 address, bool lock) {
    const char state = lock ? 0x00 : 0x01;
    return commandFrame(address, Cmd::KeyLock, QByteArrayView(&state, 1));
}

QByteArray interlockPairFrame(quint8 address, int pair, bool set) {
    const char values[2] = {char(set ? 1u << (2 * pair + 1) : 0u),
                            char(set ? 1u << (2 * pair) : 0u)};
    return parameterFrame(address, quint8(Param::PairBase + 2 * pair), QByteArrayView(values, 2));
}

QByteArray interlockMaskFrame(quint8 address, quint8 mask) {
    return parameterFrame(address, Param::InterlockPairs, mask);
}

QByteArray powerOnModeFrame(quint8 address, bool userDefined) {
    return parameterFrame(address, Param::PowerOnMode,
                          userDefined ? ModeUserDefined : ModeBeforePowerLoss);
}

QByteArray stateMaskFrame(quint8 address, quint8 mask) {
    return parameterFrame(address, Param::StateMask, mask);
}

QByteArray delayFrame(quint8 address, bool on, const std::array<int, 8>& seconds) {
    QByteArray values;
    values.reserve(16);
    for (int s : seconds) {
        const std::array<quint8, 2> bytes = encodeDelay(s);
        values.append(char(bytes[0]));
        values.append(char(bytes[1]));
    }
    return parameterFrame(address, on ? Param::OnDelays : Param::OffDelays, values);
}

QByteArray addressFrame(quint8 newAddress) {
    return parameterFrame(BroadcastAddress, Param::Address, newAddress);
}

QString hexByte(quint8 byte) {
    return hexText(QByteArrayView(reinterpret_cast<const char*>(&byte), 1));
}

QString hexText(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    // toHex puts the separator only between bytes; every byte here is followed by one blank.
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper()) + QLatin1Char(' ');
}

} // namespace vesk
