#include "bus.h"

#include <QStringList>

#include <algorithm>
#include <bitset>

namespace vesk::sim {

namespace {

std::optional<int> addressValue(QStringView text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 0);
    if (!ok || value < 0 || value > 255)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<QList<quint8>> parseAddresses(QStringView text, QString* error) {
    std::bitset<256> chosen;
    for (const QStringView part : text.split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const auto first = addressValue(dash < 0 ? part : part.first(dash));
        const auto last = dash < 0 ? first : addressValue(part.sliced(dash + 1));
        if (!first || !last || *first > *last) {
            if (error)
                *error = QStringLiteral("'%1' is no address 0-255 or range of them such as 1-40")
                             .arg(part.trimmed());
            return std::nullopt;
        }
        for (int address = *first; address <= *last; ++address)
            chosen.set(static_cast<size_t>(address));
    }
    QList<quint8> addresses;
    for (int address = 0; address < 256; ++address)
        if (chosen.test(static_cast<size_t>(address)))
            addresses.append(static_cast<quint8>(address));
    return addresses;
}

QString addressesText(const QList<quint8>& addresses) {
    QStringList parts;
    for (qsizetype i = 0; i < addresses.size();) {
        qsizetype end = i + 1;
        while (end < addresses.size() && addresses[end] == addresses[end - 1] + 1)
            ++end;
        parts << (end - i > 1 ? QStringLiteral("%1-%2").arg(addresses[i]).arg(addresses[end - 1])
                              : QString::number(addresses[i]));
        i = end;
    }
    return parts.join(QLatin1Char(','));
}

QByteArray collide(const QList<QByteArray>& transmissions) {
    QByteArray line;
    for (const QByteArray& bytes : transmissions) {
        const qsizetype overlap = std::min(line.size(), bytes.size());
        for (qsizetype i = 0; i < overlap; ++i)
            line[i] = static_cast<char>(line[i] & bytes[i]);
        line.append(bytes.sliced(overlap));
    }
    return line;
}

Bus::Bus(const QList<quint8>& addresses, double timeScale) : m_muted(addresses.size(), false) {
    m_devices.reserve(static_cast<size_t>(addresses.size()));
    for (const quint8 address : addresses)
        m_devices.emplace_back(address, timeScale);
}

QList<int> Bus::indexesAt(const QList<quint8>& addresses) const {
    QList<int> indexes;
    for (int i = 0; i < size(); ++i)
        if (addresses.contains(m_devices[static_cast<size_t>(i)].state().address))
            indexes.append(i);
    return indexes;
}

Bus::Reach Bus::reach(quint8 address) const {
    Reach reach = Reach::Nobody;
    for (int i = 0; i < size(); ++i) {
        if (!device(i).accepts(address))
            continue;
        if (!muted(i))
            return Reach::Listening;
        reach = Reach::MutedOnly;
    }
    return reach;
}

Bus::Result Bus::handleFrame(QByteArrayView frame) {
    Result result;
    QList<QByteArray> answers;
    for (int i = 0; i < size(); ++i) {
        if (muted(i))
            continue;
        Device::Result one = device(i).handleFrame(frame);
        if (one.outcome == Device::Outcome::Ignored)
            continue;
        if (result.outcome == Device::Outcome::Ignored) {
            result.outcome = one.outcome;
            result.reason = one.reason;
        }
        if (!one.reply.isEmpty())
            answers.append(std::move(one.reply));
    }
    result.answers = static_cast<int>(answers.size());
    result.reply = collide(answers);
    return result;
}

void Bus::noteMalformed() {
    for (int i = 0; i < size(); ++i)
        if (!muted(i))
            device(i).noteMalformed();
}

void Bus::advanceTo(qint64 nowMs) {
    for (Device& device : m_devices)
        device.advance(nowMs - device.nowMs());
}

std::optional<qint64> Bus::msUntilNextSwitch() const {
    std::optional<qint64> next;
    for (const Device& device : m_devices)
        if (const auto wait = device.msUntilNextSwitch(); wait && (!next || *wait < *next))
            next = wait;
    return next;
}

} // namespace vesk::sim
