#include "delaylogic.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>

namespace vesk {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isSign(QChar c) {
    return c == u'+' || c == u'-';
}

bool isBlankText(QStringView text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

// Exponents are saturated here: far beyond what can still give an int from a non-zero mantissa,
// yet small enough that adding a digit count to it cannot overflow.
constexpr qint64 ExponentCap = 1'000'000'000'000;

// The outcome of reading a text by the number grammar.
struct Scan {
    bool ok = false;
    // When the text does not read as a number: the first character the grammar rejects, or the
    // text size when the text ends too early ("-", "1e"). Every text that agrees with this one up
    // to and including that character fails as well.
    qsizetype stop = 0;
    bool negative = false;
    qsizetype mantissaBegin = 0; // digits with at most one point
    qsizetype mantissaEnd = 0;
    qint64 exponent = 0; // the e/E part, saturated at +-ExponentCap
};

Scan scanNumber(QStringView text) {
    Scan s;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && isSign(text[i]))
        s.negative = text[i++] == u'-';
    s.mantissaBegin = i;
    bool point = false;
    bool digits = false;
    for (; i < n; ++i) {
        if (isDigit(text[i]))
            digits = true;
        else if (text[i] == u'.' && !point)
            point = true;
        else
            break;
    }
    s.mantissaEnd = i;
    if (!digits) {
        s.stop = i;
        return s;
    }
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && isSign(text[i]))
            negativeExponent = text[i++] == u'-';
        if (i == n || !isDigit(text[i])) {
            s.stop = i;
            return s;
        }
        qint64 e = 0;
        for (; i < n && isDigit(text[i]); ++i)
            e = std::min(e * 10 + (text[i].unicode() - u'0'), ExponentCap);
        s.exponent = negativeExponent ? -e : e;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    s.ok = i == n;
    s.stop = i;
    return s;
}

} // namespace

std::array<quint8, 2> encodeDelay(int seconds) {
    const int v = std::clamp(seconds, 0, MaxDelay);
    if (v < 256)
        return {quint8(v), 0};
    return {quint8(v % 255), quint8(v / 255)};
}

bool readsAsNumber(QStringView text) {
    return scanNumber(text).ok;
}

std::optional<int> roundedNumber(QStringView text) {
    const Scan s = scanNumber(text);
    if (!s.ok)
        return std::nullopt;
    const QStringView mantissa = text.sliced(s.mantissaBegin, s.mantissaEnd - s.mantissaBegin);
    const qsizetype point = mantissa.indexOf(u'.');
    // Mantissa digits [0, split) form the whole part once the exponent is applied; split < 0
    // means the number is below 0.1 in magnitude.
    const qint64 split = qint64(point < 0 ? mantissa.size() : point) + s.exponent;
    // Beyond every int; the whole part is abandoned as soon as it passes this.
    constexpr qint64 TooBig = qint64(1) << 32;

    qint64 whole = 0;
    int firstDropped = 0; // the first digit after the whole part
    bool restNonZero = false;
    qint64 index = 0;
    for (QChar c : mantissa) {
        if (c == u'.')
            continue;
        const int digit = c.unicode() - u'0';
        if (index < split) {
            whole = whole * 10 + digit;
            if (whole > TooBig)
                return std::nullopt;
        } else if (index == split) {
            firstDropped = digit;
        } else if (digit != 0) {
            restNonZero = true;
        }
        ++index;
    }
    // Trailing zeros that the exponent adds to the whole part; a zero mantissa stays zero.
    for (; index < split && whole != 0; ++index) {
        whole *= 10;
        if (whole > TooBig)
            return std::nullopt;
    }
    if (firstDropped > 5 || (firstDropped == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    const qint64 value = s.negative ? -whole : whole;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

FilterResult filterNumeric(QString text, int caret) {
    caret = int(std::clamp<qsizetype>(caret, 0, text.size()));
    while (!text.isEmpty() && caret > 0) {
        const Scan s = scanNumber(text);
        if (s.ok)
            break;
        qsizetype from = caret - 1;
        if (s.stop < from) {
            // The rejected character lies before the caret: every text that still holds it
            // fails, so the Backspaces up to and including it are taken in one go.
            // A surrogate pair is rejected at its high half, so it always goes whole.
            from = s.stop;
        }
        text.remove(from, caret - from);
        caret = int(from);
    }
    return {std::move(text), caret};
}

QString spinUp(QStringView text) {
    const std::optional<int> read = isBlankText(text) ? 0 : roundedNumber(text);
    int v = read && *read >= 1 && *read <= MaxDelay ? *read : 0;
    ++v;
    return v > MaxDelay ? QStringLiteral("0") : QString::number(v);
}

QString spinDown(QStringView text) {
    const std::optional<int> read = isBlankText(text) ? 0 : roundedNumber(text);
    int v = read && *read >= 1 && *read <= MaxDelay ? *read : MaxDelay;
    --v;
    return v < 1 ? QString::number(MaxDelay) : QString::number(v);
}

std::optional<int> delayValue(QStringView text) {
    if (isBlankText(text))
        return 0;
    const std::optional<int> v = roundedNumber(text);
    if (!v || *v < 0 || *v > MaxDelay)
        return std::nullopt;
    return v;
}

int firstUnsendable(const std::array<QString, 8>& texts) {
    for (size_t k = 0; k < texts.size(); ++k) {
        if (!delayValue(texts[k]))
            return int(k);
    }
    return -1;
}

QString overflowMessage(int number) {
    return QCoreApplication::translate("vesk::DelayLogic", "第%1文本框数据溢出！！ ").arg(number);
}

quint8 channelStateMask(const std::array<bool, 8>& tickedOff) {
    quint8 mask = 0;
    for (size_t i = 0; i < tickedOff.size(); ++i) {
        if (!tickedOff[i])
            mask |= quint8(1u << i);
    }
    return mask;
}

} // namespace vesk
