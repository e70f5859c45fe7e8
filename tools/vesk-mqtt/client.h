// One MQTT connection run by the Qt event loop on this thread. The library's socket is watched by
// QSocketNotifiers (read always, write only while the library has something to send), its
// keep-alive housekeeping runs on a one-second timer, and a lost connection is retried with a
// backoff of 1 s doubling to 30 s; every new socket gets new notifiers.
//
// While the broker stays away, only the loss, the first failed attempt and the reconnection are
// logged.
//
// Another client with the same client id makes the broker close this connection: MQTT 5 says so
// ("session taken over"); with 3.1.1, or a broker that does not say why, it shows as a connection
// closed within seconds of being made. Either is logged in plain words and retried after at least
// 30 s, doubling up to 5 min (back to 30 s after a connection that lasted 10 min), so that two
// hosts running one configuration do not take the connection from each other every second.
#pragma once

#include "config.h"

#include <QByteArray>
#include <QElapsedTimer>
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
    static constexpr int TakeoverRetryMs = 30000;
    static constexpr int LastTakeoverRetryMs = 300000;
    // A connection closed this soon after it was made is taken for another client with the same
    // id (or a broker that keeps refusing this one): retried as after a take-over.
    static constexpr int ShortSessionMs = 5000;

    // `willTopic` receives "offline" (retained) from the broker when this connection dies (none
    // when empty). `label` names what the connection serves in every log line.
    MqttClient(const BrokerConfig& broker, const QString& password, const QString& clientId,
               const QString& willTopic, const QString& label, QObject* parent = nullptr);
    ~MqttClient() override;

    // Applies will, credentials and TLS; false with a reason when the library refuses them.
    bool setUp(QString* reason);
    // First connection attempt; later ones follow by themselves.
    void start();
    bool isConnected() const { return m_state == State::Connected; }

    // Dropped while not connected: everything is published again on the next connect.
    void publish(const QString& topic, const QByteArray& payload, bool retain);
    void subscribe(const QString& filter);
    // Publishes `payload` to `topic` (unless empty), then disconnects cleanly, waiting up to
    // `timeoutMs` for the bytes to leave.
    void finish(const QString& topic, const QByteArray& payload, int timeoutMs);

signals:
    void connected();
    // `retained`: kept by the broker and delivered because of the subscription, not sent now.
    void message(const QString& topic, const QByteArray& payload, bool retained);

private:
    enum class State { Idle, Connecting, Connected, Waiting };

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    void attempt();
    void connectionLost(const QString& why);
    void refused(int rc);
    // Makes the notifiers match the library's socket and its wish to write.
    void sync();
    void dropNotifiers();
    void check(int rc, const char* what);
    QString brokerName() const;
    void log(const QString& text) const;

    BrokerConfig m_broker;
    QString m_password;
    QString m_clientId;
    QString m_willTopic;
    QString m_label;
    bool m_mqtt5 = true;
    QElapsedTimer m_connectedAt;
    int m_brokerReason = 0; // of the broker's DISCONNECT, until the loss is handled
    int m_takeoverFirstMs = TakeoverRetryMs;
    int m_takeoverRetryMs = TakeoverRetryMs;
    mosquitto* m_mosq = nullptr;
    State m_state = State::Idle;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_read;
    std::unique_ptr<QSocketNotifier> m_write;
    QTimer m_misc;
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
    QString m_lastError;       // of the last failed library call, for the log
    QElapsedTimer m_downSince; // valid from the first failure until connected again
    int m_downLines = 0;       // logged since
    int m_quietAttempts = 0;   // failed since, not logged
};

} // namespace vesk::mqtt
