// Command frames of the controller protocol and their hexadecimal text form.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vesk {

inline constexpr quint8 FrameStart = 0xCA;
inline constexpr quint8 FrameSecond = 0x20;
inline constexpr quint8 BroadcastAddress = 254;

// Command codes the console sends.
namespace Cmd {
inline constexpr quint8 StatusQuery = 0x20;
inline constexpr quint8 SwitchChannel = 0x18;
inline constexpr quint8 TimedSwitch = 0x19;
inline constexpr quint8 KeyLock = 0xCF;
inline constexpr quint8 ParameterWrite = 0xCC;
} // namespace Cmd

// 255 - (sum of all bytes mod 256): the ones' complement of the low byte of the sum, so that a
// whole frame including its checksum adds up to 0xFF.
quint8 checksum(QByteArrayView bytes);

// The most data bytes one command frame carries: its length byte counts them.
inline constexpr qsizetype MaxCommandData = 255;

// CA 20 address command N data... checksum, 6 + N bytes. Empty when data is longer than
// MaxCommandData.
QByteArray commandFrame(quint8 address, quint8 command, QByteArrayView data);

// The status query: CA 20 address 20 01 01 checksum.
QByteArray statusQueryFrame(quint8 address);

// Two upper-case hex digits per byte, each followed by one blank ("CA 20 01 ").
QString hexText(QByteArrayView bytes);

// One byte as the frame echo appends it: "0A ", "FF ".
QString hexByte(quint8 byte);

} // namespace vesk
