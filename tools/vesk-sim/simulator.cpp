#include "simulator.h"

#include "protocol.h"
#include "serialendpoint.h"
#include "simlog.h"
#include "statejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vesk::sim {

namespace {
constexpr int QuitDrainLimitMs = 2000;
} // namespace

Simulator::Simulator(Bus& bus, SerialEndpoint& endpoint, SimLog& log, QObject* parent)
    : QObject(parent), m_bus(bus), m_endpoint(endpoint), m_log(log),
      m_pacer([&endpoint](QByteArrayView bytes) { return endpoint.write(bytes); }) {
    m_clock.start();
    // With several controllers, each line a controller reports names it by its address.
    for (int i = 0; i < m_bus.size(); ++i) {
        Device& device = m_bus.device(i);
        if (m_bus.size() == 1)
            device.setEventSink([this](const QString& line) { m_log.line(line); });
        else
            device.setEventSink([this, &device](const QString& line) {
                m_log.line(
                    QStringLiteral("controller %1: %2").arg(device.state().address).arg(line));
            });
    }
    m_switchTimer.setSingleShot(true);
    m_switchTimer.setTimerType(Qt::PreciseTimer);
    m_partialTimer.setSingleShot(true);
    m_partialTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_switchTimer, &QTimer::timeout, this, &Simulator::syncDevice);
    connect(&m_partialTimer, &QTimer::timeout, this, &Simulator::expirePartial);
    connect(&m_endpoint, &SerialEndpoint::received, this, &Simulator::receive);
    connect(&m_endpoint, &SerialEndpoint::lost, this, [this](const QString& reason) {
        m_pacer.clear();
        m_log.line(QStringLiteral("line lost: %1").arg(reason));
    });
}

void Simulator::execute(const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString command = words.value(0);
    const QString argument = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    const auto onOff = [&](int index) -> std::optional<bool> {
        if (words.value(index) == QLatin1String("on"))
            return true;
        if (words.value(index) == QLatin1String("off"))
            return false;
        m_log.line(QStringLiteral("console: %1 needs on or off, got '%2'").arg(command, argument));
        return std::nullopt;
    };
    if (command == QLatin1String("state")) {
        printState(select(words.value(1), command));
    } else if (command == QLatin1String("restart")) {
        const QList<int> indexes = select(words.value(1), command);
        syncDevice();
        for (const int i : indexes)
            m_bus.device(i).restart();
        syncDevice();
    } else if (command == QLatin1String("send")) {
        const auto bytes = fromHex(argument);
        if (!bytes || bytes->isEmpty())
            m_log.line(QStringLiteral("console: send needs hex bytes, got '%1'").arg(argument));
        else
            transmit(*bytes);
    } else if (command == QLatin1String("ignore-switches")) {
        const auto on = onOff(1);
        const QList<int> indexes = on ? select(words.value(2), command) : QList<int>();
        for (const int i : indexes)
            m_bus.device(i).setIgnoreSwitches(*on);
        if (!indexes.isEmpty())
            m_log.line(QStringLiteral("console: switches %1%2")
                           .arg(*on ? "ignored" : "applied", where(indexes)));
    } else if (command == QLatin1String("mute")) {
        const auto on = onOff(2);
        const QList<int> indexes =
            on && words.size() == 3 ? select(words.value(1), command) : QList<int>();
        for (const int i : indexes)
            m_bus.setMuted(i, *on);
        if (!indexes.isEmpty())
            m_log.line(QStringLiteral("console: %1%2")
                           .arg(*on ? "muted, off the line" : "on the line again", where(indexes)));
    } else if (command == QLatin1String("hangup")) {
        m_pacer.clear();
        m_endpoint.hangup();
        m_log.line(QStringLiteral("hangup: line closed"));
    } else if (command == QLatin1String("quit")) {
        requestQuit();
    } else {
        m_log.line(QStringLiteral("console: unknown command '%1'").arg(line));
    }
}

QList<int> Simulator::select(const QString& addresses, const QString& command) {
    QList<int> indexes;
    if (addresses.isEmpty()) {
        for (int i = 0; i < m_bus.size(); ++i)
            indexes.append(i);
        return indexes;
    }
    QString error;
    if (const auto list = parseAddresses(addresses, &error)) {
        indexes = m_bus.indexesAt(*list);
        if (indexes.isEmpty())
            m_log.line(QStringLiteral("console: %1: no controller at %2").arg(command, addresses));
    } else {
        m_log.line(QStringLiteral("console: %1: %2").arg(command, error));
    }
    return indexes;
}

QString Simulator::where(const QList<int>& indexes) const {
    if (m_bus.size() == 1)
        return {};
    QList<quint8> addresses;
    for (const int i : indexes)
        addresses.append(m_bus.device(i).state().address);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return QStringLiteral(" at %1").arg(addressesText(addresses));
}

void Simulator::requestQuit() {
    if (m_quitting)
        return;
    m_quitting = true;
    if (m_pacer.queued() == 0) {
        emit quitRequested();
        return;
    }
    connect(&m_pacer, &LinePacer::drained, this, &Simulator::quitRequested);
    // A line that nobody reads may never take the rest; do not wait for it forever.
    QTimer::singleShot(QuitDrainLimitMs, this, &Simulator::quitRequested);
}

void Simulator::receive(const QByteArray& bytes) {
    syncDevice();
    handle(m_parser.feed(bytes, nowMs()));
    if (m_parser.hasPartial())
        m_partialTimer.start(
            static_cast<int>(std::max<qint64>(0, m_parser.expiryTimeMs() - nowMs())));
    else
        m_partialTimer.stop();
}

void Simulator::expirePartial() {
    syncDevice();
    handle(m_parser.expire(nowMs()));
    if (m_parser.hasPartial())
        m_partialTimer.start(
            static_cast<int>(std::max<qint64>(0, m_parser.expiryTimeMs() - nowMs())));
}

void Simulator::handle(const std::vector<ParseEvent>& events) {
    for (const ParseEvent& event : events) {
        if (!event.isFrame()) {
            m_bus.noteMalformed();
            ++m_parseIssues[issueText(event.issue)];
            m_log.bad(issueText(event.issue), event.bytes);
            continue;
        }
        // RX first, so that the state changes the frame causes are logged after it. A frame for
        // muted controllers only is logged as such, so that the attempts to reach them show.
        const Bus::Reach reach = m_bus.reach(static_cast<quint8>(event.bytes[2]));
        if (reach == Bus::Reach::Listening)
            m_log.rx(event.bytes);
        else if (reach == Bus::Reach::MutedOnly)
            m_log.muted(event.bytes);
        const Bus::Result result = m_bus.handleFrame(event.bytes);
        if (result.outcome == Device::Outcome::Ignored) {
            if (reach == Bus::Reach::Nobody)
                m_log.ignored(event.bytes);
        } else if (result.outcome == Device::Outcome::Rejected) {
            m_log.bad(result.reason, event.bytes);
        } else if (!result.reply.isEmpty()) {
            if (result.answers > 1)
                m_log.line(QStringLiteral("collision: %1 controllers answered at once")
                               .arg(result.answers));
            transmit(result.reply);
        }
    }
    syncDevice();
}

void Simulator::transmit(const QByteArray& bytes) {
    if (!m_endpoint.isOpen()) {
        m_log.line(QStringLiteral("TX dropped, line closed: %1").arg(toHex(bytes)));
        return;
    }
    m_log.tx(bytes);
    m_pacer.enqueue(bytes);
}

void Simulator::syncDevice() {
    m_bus.advanceTo(nowMs());
    if (const auto wait = m_bus.msUntilNextSwitch())
        m_switchTimer.start(static_cast<int>(std::min<qint64>(*wait, INT_MAX)));
    else
        m_switchTimer.stop();
}

void Simulator::printState(const QList<int>& indexes) {
    syncDevice();
    QJsonObject issues;
    for (auto it = m_parseIssues.cbegin(); it != m_parseIssues.cend(); ++it)
        issues.insert(it.key(), it.value());
    QJsonArray controllers;
    for (const int i : indexes) {
        QJsonObject controller = stateToJson(m_bus.device(i));
        controller.insert(QStringLiteral("muted"), m_bus.muted(i));
        controllers.append(controller);
    }
    QJsonObject state = controllers.size() == 1
                            ? controllers.first().toObject()
                            : QJsonObject{{QStringLiteral("controllers"), controllers}};
    state.insert(QStringLiteral("parseIssues"), issues);
    const QByteArray line = QJsonDocument(state).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace vesk::sim
