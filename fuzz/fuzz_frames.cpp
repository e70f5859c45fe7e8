// Frame builders and the delay encoding: every frame reads back to what was put in.
// Input: [address] [command] [parameter] then data bytes; the data also supplies eight delays.
#include "core/delaylogic.h"
#include "core/frames.h"

#include "require.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

using namespace vesk;

namespace {

int sumBytes(const QByteArray& bytes) {
    int sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    return sum;
}

void checkHex(const QByteArray& bytes) {
    const QString text = hexText(bytes);
    require(text.size() == 3 * bytes.size());
    require(QByteArray::fromHex(text.toLatin1()) == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const quint8 address = data[0], command = data[1], parameter = data[2];
    const QByteArray payload(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    // Command frames: CA 20 address command n data... checksum; the whole adds up to FF.
    const QByteArray frame = commandFrame(address, command, payload);
    if (payload.size() > 255) {
        require(frame.isEmpty()); // the length byte could not count the data
    } else {
        require(frame.size() == 6 + payload.size());
        require(quint8(frame[0]) == 0xCA && quint8(frame[1]) == 0x20);
        require(quint8(frame[2]) == address && quint8(frame[3]) == command);
        require(quint8(frame[4]) == payload.size());
        require(frame.mid(5, payload.size()) == payload);
        require(sumBytes(frame) % 256 == 0xFF);
        checkHex(frame);
    }
    const QByteArray query = statusQueryFrame(address);
    require(query.size() == 7 && sumBytes(query) % 256 == 0xFF);

    // Parameter frames: CA 20 address CC (n+3) 00 parameter n values... AC.
    const QByteArray pframe = parameterFrame(address, parameter, payload);
    if (payload.size() > MaxParameterValues) {
        require(pframe.isEmpty());
    } else {
        require(pframe.size() == 9 + payload.size());
        require(quint8(pframe[3]) == 0xCC && quint8(pframe[4]) == payload.size() + 3);
        require(pframe[5] == 0 && quint8(pframe[6]) == parameter);
        require(quint8(pframe[7]) == payload.size());
        require(pframe.mid(8, payload.size()) == payload);
        require(quint8(pframe.back()) == ParameterEnd);
    }

    // Delays: base 255, low byte first; each of the eight reads back from the frame.
    std::array<int, 8> delays{};
    for (int k = 0; k < 8; ++k) {
        const std::size_t at = 3 + 3 * std::size_t(k);
        const int raw = at + 2 < size ? int(data[at] | data[at + 1] << 8 | data[at + 2] << 16) : 0;
        delays[k] = raw % (MaxDelay + 1);
        const auto form = encodeDelay(delays[k]);
        require(form[0] + 255 * form[1] == delays[k]);
        require(delays[k] < 256 ? form[1] == 0 : form[0] < 255);
    }
    const QByteArray dframe = delayFrame(address, true, delays);
    require(dframe.size() == 9 + 16);
    for (int k = 0; k < 8; ++k)
        require(quint8(dframe[8 + 2 * k]) + 255 * quint8(dframe[9 + 2 * k]) == delays[k]);
    // Out-of-range values are clamped, never wrapped.
    require(encodeDelay(-int(address) - 1) == encodeDelay(0));
    require(encodeDelay(MaxDelay + 1 + int(command)) == encodeDelay(MaxDelay));
    return 0;
}
