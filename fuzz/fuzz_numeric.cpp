// The delay boxes' numeric filter, number reading and spin steps.
// Input: [caret byte] then the text as UTF-16 (pairs of bytes), so that surrogates, full-width
// digits and every other character reach the filter.
#include "core/delaylogic.h"

#include "require.h"

#include <QString>

#include <algorithm>
#include <cstdint>

using namespace vesk;

namespace {

// Blanks in a delay box are spaces and tabs; other Unicode spaces are just characters.
bool isBlank(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

void checkValue(const QString& text) {
    const auto rounded = roundedNumber(text);
    if (rounded)
        require(readsAsNumber(text));
    const auto value = delayValue(text);
    if (value) {
        require(*value >= 0 && *value <= MaxDelay);
        require(isBlank(text) ? *value == 0 : rounded == value);
    } else {
        require(!isBlank(text));
    }
    // The spin steps always leave a number the box can send.
    for (const QString& stepped : {spinUp(text), spinDown(text)}) {
        const auto v = delayValue(stepped);
        require(v.has_value());
        require(stepped == QString::number(*v));
    }
    // Inside the range the two steps undo each other (the ends wrap: up from 65279 shows 0,
    // down from 1 shows 65279).
    if (value && *value >= 1 && *value < MaxDelay)
        require(delayValue(spinDown(spinUp(text))) == value);
    if (value && *value > 1 && *value <= MaxDelay)
        require(delayValue(spinUp(spinDown(text))) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    QString text;
    for (std::size_t i = 1; i + 1 < size && text.size() < 64; i += 2)
        text.append(QChar(char16_t(data[i] | (data[i + 1] << 8))));
    const int caret = int(data[0] % (text.size() + 3)) - 1; // also one outside either end

    const FilterResult r = filterNumeric(text, caret);
    const int c = std::clamp(caret, 0, int(text.size()));
    // The filter only removes characters before the caret, and leaves a number or nothing there.
    require(r.caret >= 0 && r.caret <= c);
    require(r.text == text.left(r.caret) + text.mid(c));
    require(r.text.isEmpty() || readsAsNumber(r.text) || r.caret == 0);
    // Running it again changes nothing.
    const FilterResult again = filterNumeric(r.text, r.caret);
    require(again.text == r.text && again.caret == r.caret);

    checkValue(text);
    checkValue(r.text);
    return 0;
}
