// Parameter write frames: writes into the settings stored in the controller.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vesk {

// Parameter numbers (low byte; the high byte is always 0x00).
namespace Param {
inline constexpr quint8 Address = 0x10;        // new device address, one value
inline constexpr quint8 StateMask = 0x11;      // channel state mask, bit i = channel i + 1, 1 = on
inline constexpr quint8 PowerOnMode = 0x15;    // 0xFF = state before power loss, 0x00 = user state
inline constexpr quint8 InterlockPairs = 0x1F; // bit k = pair of channels 2k + 1 and 2k + 2
inline constexpr quint8 PairBase = 0x20;       // pair k is PairBase + 2k, two values
inline constexpr quint8 OnDelays = 0x30;       // sixteen values: eight (low, high) delays
inline constexpr quint8 OffDelays = 0x40;      // sixteen values: eight (low, high) delays
} // namespace Param

// Fixed last byte of a parameter frame, in place of the checksum.
inline constexpr quint8 ParameterEnd = 0xAC;

// The most values one frame can carry: the length byte counts them plus three.
inline constexpr qsizetype MaxParameterValues = 252;

// CA 20 address CC (n+3) 00 parameter n values... AC: 9 + n bytes, no checksum, no escaping.
// Returns an empty array when more than MaxParameterValues values are given, since the length
// byte could not count them.
QByteArray parameterFrame(quint8 address, quint8 parameter, QByteArrayView values);
QByteArray parameterFrame(quint8 address, quint8 parameter, quint8 value);

} // namespace vesk
