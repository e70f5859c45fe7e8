#include "simulator.h"

#include "protocol.h"
#include "serialendpoint.h"
#include "simlog.h"
#include "statejson.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vesk::sim {

namespace {
constexpr int QuitDrainLimitMs = 2000;
} // namespace

Simulator::Simulator(Device& device, SerialEndpoint& endpoint, SimLog& log, QObject* parent)
    : QObject(parent), m_device(device), m_endpoint(endpoint), m_log(log),
      m_pacer([&endpoint](QByteArrayView bytes) { return endpoint.write(bytes); }) {
    m_clock.start();
    m_device.setEventSink([this](const QString& line) { m_log.line(line); });
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
    const QString command = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const QString argument = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    if (command == QLatin1String("state")) {
        printState();
    } else if (command == QLatin1String("restart")) {
        syncDevice();
        m_device.restart();
        syncDevice();
    } else if (command == QLatin1String("send")) {
        const auto bytes = fromHex(argument);
        if (!bytes || bytes->isEmpty())
            m_log.line(QStringLiteral("console: send needs hex bytes, got '%1'").arg(argument));
        else
            transmit(*bytes);
    } else if (command == QLatin1String("ignore-switches")) {
        m_device.setIgnoreSwitches(argument == QLatin1String("on"));
        m_log.line(QStringLiteral("console: switches %1")
                       .arg(argument == QLatin1String("on") ? "ignored" : "applied"));
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
            m_device.noteMalformed();
            ++m_parseIssues[issueText(event.issue)];
            m_log.bad(issueText(event.issue), event.bytes);
            continue;
        }
        // RX first, so that the state changes the frame causes are logged after it.
        if (m_device.accepts(static_cast<quint8>(event.bytes[2])))
            m_log.rx(event.bytes);
        const Device::Result result = m_device.handleFrame(event.bytes);
        if (result.outcome == Device::Outcome::Ignored)
            m_log.ignored(event.bytes);
        else if (result.outcome == Device::Outcome::Rejected)
            m_log.bad(result.reason, event.bytes);
        else if (!result.reply.isEmpty())
            transmit(result.reply);
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
    m_device.advance(nowMs() - m_device.nowMs());
    if (const auto wait = m_device.msUntilNextSwitch())
        m_switchTimer.start(static_cast<int>(std::min<qint64>(*wait, INT_MAX)));
    else
        m_switchTimer.stop();
}

void Simulator::printState() {
    syncDevice();
    QJsonObject state = stateToJson(m_device);
    QJsonObject issues;
    for (auto it = m_parseIssues.cbegin(); it != m_parseIssues.cend(); ++it)
        issues.insert(it.key(), it.value());
    state.insert(QStringLiteral("parseIssues"), issues);
    const QByteArray line = QJsonDocument(state).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace vesk::sim
