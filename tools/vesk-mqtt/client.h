// One MQTT connection run by the Qt event loop on this thread. The library's socket is watched by
// QSocketNotifiers (read always, write only while the library has something to send), its
// keep-alive housekeeping runs on a one-second timer, and a lost connection is retried with a
// backoff of 1 s doubling to 30 s; every new socket gets new notifiers.
//
// The library's callbacks run inside its read call; they only record what happened and queue the
// handling for the next event-loop pass.
#pragma once

#include "config.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

struct mosquitto;
struct mosquitto_message;

namespace vesk::mqtt {

// Initialises the library for the process's lifetime (once).
void initMosquittoLibrary();

class MqttClient : public QObject {
    Q_OBJECT
public:
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;
    static constexpr int KeepAliveSeconds = 30;

    // `willTopic` receives "offline" (retained) from the broker when this connection dies.
    MqttClient(const BrokerConfig& broker, const QString& password, const QString& clientId,
               const QString& willTopic, QObject* parent = nullptr);
    ~MqttClient() override;

    // Applies will, credentials and TLS; false with a reason when the library refuses them.
    bool setUp(QString* reason);
    // First connection attempt; later ones follow by themselves.
    void start();
    bool isConnected() const { return m_state == State::Connected; }

    // Dropped while not connected: everything is published again on the next connect.
    void publish(const QString& topic, const QByteArray& payload, bool retain);
    void subscribe(const QString& filter);
    // Publishes `payload` to `topic`, then disconnects cleanly, waiting up to `timeoutMs` for the
    // bytes to leave.
    void finish(const QString& topic, const QByteArray& payload, int timeoutMs);

signals:
    void connected();
    void message(const QString& topic, const QByteArray& payload);

private:
    enum class State { Idle, Connecting, Connected, Waiting };

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    void attempt();
    void connectionLost(const QString& why);
    // Makes the notifiers match the library's socket and its wish to write.
    void sync();
    void dropNotifiers();
    void check(int rc, const char* what);
    QString brokerName() const;

    BrokerConfig m_broker;
    QString m_password;
    QString m_willTopic;
    mosquitto* m_mosq = nullptr;
    State m_state = State::Idle;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_read;
    std::unique_ptr<QSocketNotifier> m_write;
    QTimer m_misc;
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
    QString m_lastError; // of the last failed library call, for the log
};

} // namespace vesk::mqtt
