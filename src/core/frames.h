// Every frame the programs send to a controller, and their hexadecimal text form. One builder per
// frame; the bytes here are what goes on the wire.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace vesk {

inline constexpr quint8 FrameStart = 0xCA;
inline constexpr quint8 FrameSecond = 0x20;
inline constexpr quint8 BroadcastAddress = 254;

// Command codes.
namespace Cmd {
inline constexpr quint8 StatusQuery = 0x20;
inline constexpr quint8 SwitchChannel = 0x18;
inline constexpr quint8 TimedSwitch = 0x19;
inline constexpr quint8 KeyLock = 0xCF;
inline constexpr quint8 ParameterWrite = 0xCC;
} // namespace Cmd

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
inline constexpr quint8 ModeBeforePowerLoss = 0xFF;
inline constexpr quint8 ModeUserDefined = 0x00;

// 255 - (sum of all bytes mod 256): the ones' complement of the low byte of the sum, so that a
// whole frame including its checksum adds up to 0xFF.
quint8 checksum(QByteArrayView bytes);

// The most data bytes one command frame carries: its length byte counts them.
inline constexpr qsizetype MaxCommandData = 255;
// The most values one parameter frame carries: the length byte counts them plus three.
inline constexpr qsizetype MaxParameterValues = 252;

// CA 20 address command N data... checksum, 6 + N bytes. Empty when data is longer than
// MaxCommandData.
QByteArray commandFrame(quint8 address, quint8 command, QByteArrayView data);

// CA 20 address CC (n+3) 00 parameter n values... AC: 9 + n bytes, no checksum, no escaping.
// Empty when more than MaxParameterValues values are given.
QByteArray parameterFrame(quint8 address, quint8 parameter, QByteArrayView values);
QByteArray parameterFrame(quint8 address, quint8 parameter, quint8 value);

// The status query: CA 20 address 20 01 01 checksum.
QByteArray statusQueryFrame(quint8 address);

// The controller's status reply: CA 20 address 20 states checksum, bit i of `states` = channel
// i + 1 on. Six bytes, with no length byte.
QByteArray statusReplyFrame(quint8 address, quint8 states);

// Switches one channel (1..8) on or off: CA 20 address 18 02 channel 01|00 checksum.
QByteArray switchFrame(quint8 address, int channel, bool on);

// The controller's timed sequence over all eight channels: all on by the on-delays (timing code 1)
// or all off by the off-delays (timing code 2).
QByteArray timedAllFrame(quint8 address, bool on);

// The multi-channel switch: `selection` bit i = channel i + 1 takes part, `targets` bit i = it
// goes on, `timing` from timingCode().
QByteArray multiSwitchFrame(quint8 address, quint8 selection, quint8 targets, quint8 timing);

// The multi-channel timing code: 0 for the number 0, otherwise the unit code (seconds 0x40,
// minutes 0x80, hours 0xC0, an unknown unit 0) plus the number (its low six bits).
enum class TimeUnit { Seconds = 0, Minutes = 1, Hours = 2 };
quint8 timingCode(int unitPosition, int number);

// Locks (00) or unlocks (01) the controller's front-panel keys.
QByteArray keyLockFrame(quint8 address, bool lock);

// Interlock of one pair (0..3 = channels 1-2 .. 7-8), the QX series' form: setting gives each
// channel of the pair its partner (first the bit of the second channel, then of the first);
// releasing writes two zeros.
QByteArray interlockPairFrame(quint8 address, int pair, bool set);
// All interlocked pairs in one mask (bit k = pair k), the 5200 series' form.
QByteArray interlockMaskFrame(quint8 address, quint8 mask);

// Power-on mode: the state before the power loss, or the user-defined state.
QByteArray powerOnModeFrame(quint8 address, bool userDefined);
// The channel state mask (bit i = channel i + 1 on): the user-defined power-on state and the
// state-set of the channel toggles.
QByteArray stateMaskFrame(quint8 address, quint8 mask);

// A delay column: eight delays in seconds (0..MaxDelay), channel 1 first, each as (low, high) in
// base 255. `on` picks the on-delays, otherwise the off-delays.
QByteArray delayFrame(quint8 address, bool on, const std::array<int, 8>& seconds);

// A new device address, always written through the broadcast address.
QByteArray addressFrame(quint8 newAddress);

// How the bytes at the start of a stream make a frame: a whole one (command frames end in their
// checksum, parameter frames in ParameterEnd), the start of one still arriving, or bytes that are
// no frame at all.
struct FrameCut {
    enum class Kind { Whole, Partial, Invalid };
    Kind kind = Kind::Partial;
    qsizetype length = 0; // Whole: the frame's length
    const char* why = ""; // Invalid: "no frame start", "bad checksum", "bad end byte"
};
FrameCut cutFrame(QByteArrayView bytes);

// Two upper-case hex digits per byte, each followed by one blank ("CA 20 01 ").
QString hexText(QByteArrayView bytes);
// One byte as the frame echo appends it: "0A ", "FF ".
QString hexByte(quint8 byte);

} // namespace vesk
