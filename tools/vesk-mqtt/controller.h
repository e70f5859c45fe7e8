// One controller on the broker: its states polled by its port's queue, availability and channel
// states published, commands turned into frames on the queue, and a burst of switches confirmed
// with one status query once the burst is over. A controller that stops answering (or never
// did) is reported once, with a reminder every ten minutes while it stays silent.
#pragma once

#include "config.h"
#include "topics.h"

#include <QElapsedTimer>
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
    // Quiet time after the last switch before the confirming status query.
    static constexpr int SettleMs = 200;
    static constexpr int SilenceReminderMs = 10 * 60 * 1000;

    Controller(const ControllerConfig& config, const BrokerConfig& broker, PortQueue* port,
               MqttClient* client, QObject* parent = nullptr);
    ~Controller() override;

    const ControllerConfig& config() const { return m_config; }
    bool isAvailable() const { return m_available; }

    // Executes a command for this controller; refused with a log line while the port is closed.
    void execute(const Command& command);
    // After a (re)connect to the broker: availability, the known states and discovery.
    void announce();
    void announceDiscovery();

private:
    void query();
    void onReply(std::optional<QByteArray> batch);
    void noteSilence();
    // `why` leads the log line ("no reply ...; offline"); without it the line is "NAME: offline".
    void setAvailable(bool available, const QString& why = {});
    void publishState(int channel);
    void onPortClosed();

    ControllerConfig m_config;
    BrokerConfig m_broker;
    PortQueue* m_port;
    MqttClient* m_client;
    std::optional<std::array<bool, 8>> m_states;   // as last reported
    std::optional<std::array<bool, 8>> m_expected; // as reported and switched since
    bool m_available = false;
    bool m_replyPredatesSwitch = false;
    QElapsedTimer m_silentLogged; // valid while the silence has been reported
    QTimer m_settle;
};

} // namespace vesk::mqtt
