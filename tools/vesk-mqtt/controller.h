// One controller on the broker: its states polled by its port's queue, availability and channel
// states published, commands turned into frames on the queue, and a burst of switches confirmed
// with one status query once the burst is over. A switch the controller does not obey, a refused
// command and a command sent while the controller is offline are events: one log line and one
// JSON message on BASE/NAME/event each. A controller that stops answering (or never did) is
// reported once, with a reminder every ten minutes while it stays silent.
#pragma once

#include "config.h"
#include "topics.h"

#include "core/journal.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <array>
#include <optional>
#include <vector>

namespace vesk::mqtt {

class MqttClient;
class PortQueue;

// Where a command came from, for the journal: an MQTT message.
struct Origin {
    QString topic;
    QByteArray payload;
};

class Controller : public QObject {
    Q_OBJECT
public:
    // Quiet time after the last switch before the confirming status query.
    static constexpr int SettleMs = 200;
    static constexpr int SilenceReminderMs = 10 * 60 * 1000;

    // `client` is null when the daemon has no broker; `journal` (may be null) records the switches
    // and what became of them.
    Controller(const ControllerConfig& config, const BrokerConfig& broker, PortQueue* port,
               MqttClient* client, FrameJournal* journal = nullptr, QObject* parent = nullptr);
    ~Controller() override;

    const ControllerConfig& config() const { return m_config; }
    bool isAvailable() const { return m_available; }
    // How log lines name the controller: "rack1", or "rack1 (一号柜)" with a name for people.
    QString label() const;

    // Executes a command for this controller; refused with a log line and an event while the
    // port is closed.
    void execute(const Command& command, const Origin& origin);
    // A message on one of this controller's command topics that is no command.
    void refuse(const QString& why, const QString& topic, const QByteArray& payload);
    // After a (re)connect to the broker: availability, the known states and discovery.
    void announce();
    void announceDiscovery();

private:
    struct Switch {
        int channel = 0; // 0: not a channel switch (no state to compare)
        bool on = false;
        QByteArray frame;
        FrameJournal::Fields origin;
    };

    void query();
    void onReply(std::optional<QByteArray> batch);
    // The switches written before the settle time ended, against the states read after it.
    void judge(const std::optional<std::array<bool, 8>>& states);
    void noteSilence();
    // `why` leads the log line ("no reply ...; offline"); without it the line is "NAME: offline".
    void setAvailable(bool available, const QString& why = {});
    // Nothing without a broker (`m_client` null).
    void publish(const QString& topic, const QByteArray& payload, bool retain);
    void publishState(int channel);
    void publishEvent(const QString& type, QJsonObject fields);
    void publishRefused(const QString& why, const Origin& origin);
    void onPortClosed();

    ControllerConfig m_config;
    BrokerConfig m_broker;
    PortQueue* m_port;
    MqttClient* m_client; // null: the daemon has no broker
    FrameJournal* m_journal;
    std::optional<std::array<bool, 8>> m_states;   // as last reported
    std::optional<std::array<bool, 8>> m_expected; // as reported and switched since
    std::vector<Switch> m_written;                 // switches awaiting their confirming read
    bool m_judgeNext = false;                      // the settle time of m_written has passed
    bool m_available = false;
    bool m_replyPredatesSwitch = false;
    QElapsedTimer m_silentLogged; // valid while the silence has been reported
    QTimer m_settle;
};

} // namespace vesk::mqtt
