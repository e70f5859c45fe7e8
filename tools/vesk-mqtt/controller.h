// One controller on the broker: polls its states, publishes availability and channel states,
// turns commands into frames on its port's queue, and confirms a burst of switches with one
// status query once the burst is over.
#pragma once

#include "config.h"
#include "topics.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

namespace vesk::mqtt {

class MqttClient;
class PortQueue;

class Controller : public QObject {
    Q_OBJECT
public:
    // Missed status replies in a row before the controller counts as offline.
    static constexpr int MissedPollsOffline = 3;
    // Quiet time after the last switch before the confirming status query.
    static constexpr int SettleMs = 200;

    Controller(const ControllerConfig& config, const BrokerConfig& broker, PortQueue* port,
               MqttClient* client, QObject* parent = nullptr);

    const ControllerConfig& config() const { return m_config; }
    bool isAvailable() const { return m_available; }

    // Executes a command for this controller; refused with a log line while the port is closed.
    void execute(const Command& command);
    // After a (re)connect to the broker: availability, the known states and discovery.
    void announce();
    void announceDiscovery();

private:
    void poll();
    void query();
    void onReply(std::optional<QByteArray> batch);
    void setAvailable(bool available);
    void publishState(int channel);
    void onPortOpened();
    void onPortClosed();

    ControllerConfig m_config;
    BrokerConfig m_broker;
    PortQueue* m_port;
    MqttClient* m_client;
    std::optional<std::array<bool, 8>> m_states;   // as last reported
    std::optional<std::array<bool, 8>> m_expected; // as reported and switched since
    bool m_available = false;
    int m_missed = 0;
    bool m_replyPredatesSwitch = false;
    QTimer m_poll;
    QTimer m_settle;
};

} // namespace vesk::mqtt
