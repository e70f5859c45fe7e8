// How the simulated controller reads the wire: frame bytes, command table, checksum and hex text
// helpers. What it sends is built by the core library, as the programs build theirs.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace vesk::sim {

inline constexpr quint8 FrameStart = 0xCA;
inline constexpr quint8 FrameSecond = 0x20;
inline constexpr quint8 BroadcastAddress = 254;
inline constexpr quint8 ParameterEnd = 0xAC;

// Bytes before the data block: CA 20 address command N.
inline constexpr int HeaderSize = 5;
// Header plus trailer: a frame is FrameOverhead + N bytes long.
inline constexpr int FrameOverhead = 6;
// Bytes of a parameter write before its values: the header, 0x00, parameter, value count.
inline constexpr int ParameterHeaderSize = 8;

namespace Cmd {
inline constexpr quint8 StatusQuery = 0x20;
inline constexpr quint8 SwitchChannel = 0x18;
inline constexpr quint8 TimedSwitch = 0x19;
inline constexpr quint8 KeyLock = 0xCF;
inline constexpr quint8 ParameterWrite = 0xCC;
} // namespace Cmd

// What the frame parser needs to know about a command: its data length, or that the length follows
// from the value count of a parameter write.
struct CommandShape {
    quint8 code;
    int dataLength; // -1: parameter write, N = value count + 3
};

// The commands the controller understands; nullptr for any other code.
const CommandShape* findCommand(quint8 code);

// 255 - (sum of the bytes mod 256).
quint8 checksum(QByteArrayView bytes);

// "CA 20 01": two upper-case digits per byte, separated by single blanks.
QString toHex(QByteArrayView bytes);

// Reads blank-separated bytes ("CA 20 1", "0xCA 0x20") or runs of digit pairs ("CA2001").
std::optional<QByteArray> fromHex(QStringView text);

} // namespace vesk::sim
