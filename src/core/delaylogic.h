// The logic behind the channel delay table and the channel state toggles: reading delay boxes,
// the numeric filter, the spin steps and the channel state mask.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace vesk {

// The largest delay in seconds that the two-byte form carries: 255 * 255 + 254 = 0xFEFF.
inline constexpr int MaxDelay = 65279;

// Base-255 two-byte form, low byte first: value = high * 255 + low. Values below 256 keep the
// whole value in the low byte (255 is FF 00); from 256 up, low = value mod 255. Precondition
// 0..MaxDelay; values outside are clamped into that range.
std::array<quint8, 2> encodeDelay(int seconds);

// Does the text read as a number: optional blanks, optional sign, digits with at most one decimal
// point (at least one digit), optional exponent e/E with optional sign and at least one digit,
// optional blanks. Only ASCII digits count; an empty text, a lone sign or point, or an exponent
// without digits ("1e") do not read as a number.
bool readsAsNumber(QStringView text);

// The number a text reads as, rounded to the nearest whole number with halves to the even
// neighbour. Exact for any number of digits (no floating point). nullopt when the text does not
// read as a number or the rounded value does not fit a 32-bit signed int.
std::optional<int> roundedNumber(QStringView text);

// The numeric filter run on every change of a delay box: while the text does not read as a
// number and is not empty, remove the character before the caret (as one Backspace would; a
// surrogate pair goes as one character). Stops when the text reads as a number or nothing is left
// before the caret. A caret outside the text is taken as its nearest end.
struct FilterResult {
    QString text;
    int caret;
};
FilterResult filterNumeric(QString text, int caret);

// Spin steps on the box text; v = roundedNumber(text), an empty or blank text reads as 0.
// Up: v outside 1..MaxDelay becomes 0, then v + 1; the step from MaxDelay shows "0".
// Down: v outside 1..MaxDelay becomes MaxDelay, then v - 1; the step from 1 shows "65279".
QString spinUp(QStringView text);
QString spinDown(QStringView text);

// The delay a box sends: an empty or blank box sends 0; otherwise the rounded number. nullopt when
// the box cannot be sent: not a number, negative after rounding, or above MaxDelay.
std::optional<int> delayValue(QStringView text);

// The first box (0..7 within the column) whose text delayValue() refuses, or -1.
int firstUnsendable(const std::array<QString, 8>& texts);

// The message for a box that cannot be sent: "第<number>文本框数据溢出！！ " (ends in a blank).
QString overflowMessage(int number);

// Channel state mask from the eight toggles, where ticked means off: bit i is 1 when toggle i
// (channel i + 1) is not ticked.
quint8 channelStateMask(const std::array<bool, 8>& tickedOff);

} // namespace vesk
