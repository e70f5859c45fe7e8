#include "statejson.h"

#include "device.h"

#include <QJsonArray>

#include <algorithm>

namespace vesk::sim {

namespace {

template <typename Container> QJsonArray numbers(const Container& values) {
    QJsonArray array;
    for (const auto value : values)
        array.append(static_cast<qint64>(value));
    return array;
}

} // namespace

QJsonObject stateToJson(const Device& device) {
    const DeviceState& state = device.state();
    QJsonObject pairs;
    for (int pair = 0; pair < PairCount; ++pair) {
        const QString key = QStringLiteral("0x%1").arg(Param::FirstPair + 2 * pair, 2, 16);
        pairs.insert(key, numbers(state.pairParams[pair]));
    }

    std::vector<PendingSwitch> pending = state.pending;
    std::sort(pending.begin(), pending.end(), [](const PendingSwitch& a, const PendingSwitch& b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.order < b.order;
    });
    QJsonArray switches;
    for (const PendingSwitch& p : pending) {
        switches.append(QJsonObject{{QStringLiteral("channel"), p.channel},
                                    {QStringLiteral("on"), p.on},
                                    {QStringLiteral("dueInMs"), p.dueMs - device.nowMs()}});
    }

    return QJsonObject{
        {QStringLiteral("address"), state.address},
        {QStringLiteral("pendingAddress"),
         state.pendingAddress ? QJsonValue(*state.pendingAddress) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("channels"), state.channels},
        {QStringLiteral("onDelays"), numbers(state.onDelays)},
        {QStringLiteral("offDelays"), numbers(state.offDelays)},
        {QStringLiteral("stateMask"), state.stateMask},
        {QStringLiteral("powerOnMode"), state.powerOnMode},
        {QStringLiteral("interlockPairs"), state.interlockPairs},
        {QStringLiteral("pairParams"), pairs},
        {QStringLiteral("keysLocked"), state.keysLocked},
        {QStringLiteral("framesReceived"), static_cast<qint64>(state.framesReceived)},
        {QStringLiteral("malformed"), static_cast<qint64>(state.malformed)},
        {QStringLiteral("ignored"), static_cast<qint64>(state.ignored)},
        {QStringLiteral("pendingSwitches"), switches},
        {QStringLiteral("ignoresSwitches"), device.ignoresSwitches()},
    };
}

} // namespace vesk::sim
