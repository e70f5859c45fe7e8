#include "client.h"

#include "log.h"

#include <QDeadlineTimer>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <utility>

namespace vesk::mqtt {

namespace {

// The library's text for an error, without its closing full stop.
QString errorText(int rc) {
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

void initMosquittoLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

MqttClient::MqttClient(const BrokerConfig& broker, const QString& password, const QString& clientId,
                       const QString& willTopic, const QString& label, QObject* parent)
    : QObject(parent), m_broker(broker), m_password(password), m_clientId(clientId),
      m_willTopic(willTopic), m_label(label) {
    initMosquittoLibrary();
    // The tests shorten the back-off after a take-over; nothing else sets this.
    if (const int ms = qEnvironmentVariableIntValue("VESK_MQTT_TAKEOVER_RETRY_MS"); ms > 0)
        m_takeoverFirstMs = ms;
    m_takeoverRetryMs = m_takeoverFirstMs;
    m_mosq = mosquitto_new(clientId.toUtf8().constData(), true, this);
    if (m_mosq) {
        // MQTT 5, so that the broker can say why it closes the connection.
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
        mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);
    }
    m_misc.setInterval(1000);
    connect(&m_misc, &QTimer::timeout, this,
            [this] { check(mosquitto_loop_misc(m_mosq), "housekeeping"); });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttClient::attempt);
}

MqttClient::~MqttClient() {
    dropNotifiers();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

bool MqttClient::setUp(QString* reason) {
    if (!m_mosq) {
        *reason = QStringLiteral("cannot create an MQTT client: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const QByteArray will = m_willTopic.toUtf8();
    int rc = m_willTopic.isEmpty()
                 ? MOSQ_ERR_SUCCESS
                 : mosquitto_will_set(m_mosq, will.constData(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_broker.username.isEmpty())
        rc = mosquitto_username_pw_set(m_mosq, m_broker.username.toUtf8().constData(),
                                       m_password.isEmpty() ? nullptr
                                                            : m_password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !m_broker.cafile.isEmpty())
        rc = mosquitto_tls_set(m_mosq, m_broker.cafile.toLocal8Bit().constData(), nullptr, nullptr,
                               nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *reason = QStringLiteral("MQTT client set-up failed: %1")
                      .arg(QString::fromUtf8(mosquitto_strerror(rc)));
        return false;
    }
    return true;
}

QString MqttClient::brokerName() const {
    return QStringLiteral("%1:%2").arg(m_broker.host).arg(m_broker.effectivePort());
}

void MqttClient::log(const QString& text) const {
    logLine(QStringLiteral("%1: broker %2: %3").arg(m_label, brokerName(), text));
}

void MqttClient::start() {
    attempt();
}

void MqttClient::attempt() {
    m_state = State::Connecting;
    m_brokerReason = 0;
    const int rc = mosquitto_connect_async(m_mosq, m_broker.host.toUtf8().constData(),
                                           m_broker.effectivePort(), KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        connectionLost(errorText(rc));
        return;
    }
    m_misc.start();
    sync();
}

void MqttClient::connectionLost(const QString& given) {
    if (m_state == State::Waiting || m_state == State::Idle)
        return;
    const int brokerReason = std::exchange(m_brokerReason, 0);
    bool takenOver = brokerReason == MQTT_RC_SESSION_TAKEN_OVER;
    const QString why = brokerReason
                            ? QStringLiteral("the broker closed it: %1")
                                  .arg(QString::fromUtf8(mosquitto_reason_string(brokerReason)))
                            : given;
    const bool wasConnected = m_state == State::Connected;
    m_state = State::Waiting;
    m_lastError.clear();
    dropNotifiers();
    m_misc.stop();
    if (wasConnected)
        m_retryMs = FirstRetryMs;
    // With MQTT 3.1.1 (and brokers that do not say why) another client with the same id shows
    // only as a connection closed soon after it was made; a broker that gave another reason
    // (shutting down, not authorised) is taken at its word.
    const qint64 lasted = wasConnected ? m_connectedAt.elapsed() : 0;
    QString text;
    if (takenOver) {
        text = QStringLiteral("another client connected with client id '%1' and took over the "
                              "connection (a second vesk-mqtt with this configuration, on another "
                              "host?)")
                   .arg(m_clientId);
    } else if (brokerReason == 0 && wasConnected && lasted < ShortSessionMs) {
        takenOver = true;
        text = QStringLiteral("the connection was closed %1 s after it was made (%2): another "
                              "client may be using client id '%3' (a second vesk-mqtt with this "
                              "configuration, on another host?), or the broker restarted")
                   .arg(double(lasted) / 1000, 0, 'f', 1)
                   .arg(why, m_clientId);
    }
    // A connection that lasted longer than two of the longest back-offs was nobody's fight.
    if (lasted > 2 * LastTakeoverRetryMs)
        m_takeoverRetryMs = m_takeoverFirstMs;
    int delayMs = m_retryMs;
    if (takenOver) {
        delayMs = std::max(m_retryMs, m_takeoverRetryMs);
        m_takeoverRetryMs = std::min(m_takeoverRetryMs * 2, LastTakeoverRetryMs);
    } else {
        text = (wasConnected ? QStringLiteral("connection lost: ") : QString()) + why;
        m_retryMs = std::min(m_retryMs * 2, LastRetryMs);
    }
    // While the broker stays away, the attempts that fail are not logged one by
    // one: the loss and the first failed attempt are, and the line on reconnecting counts the
    // rest.
    if (!m_downSince.isValid() || wasConnected)
        m_downSince.start(), m_downLines = 0;
    if (takenOver || m_downLines < 2) {
        log(QStringLiteral("%1; next attempt in %2 s").arg(text).arg((delayMs + 999) / 1000));
        ++m_downLines;
        m_quietAttempts = 0;
    } else {
        ++m_quietAttempts;
    }
    m_retry.start(delayMs);
}

void MqttClient::refused(int rc) {
    if (m_mqtt5 && rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION) {
        // A broker that knows only MQTT 3.1.1: speak that from now on.
        m_mqtt5 = false;
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        log(QStringLiteral("does not speak MQTT 5; using MQTT 3.1.1"));
        return;
    }
    // The connection is closed after a refusal, maybe already: it is retried as a loss, and the
    // refusal is logged whatever happened since.
    log(QStringLiteral("refused the connection: %1")
            .arg(QString::fromUtf8(m_mqtt5 ? mosquitto_reason_string(rc)
                                           : mosquitto_connack_string(rc))));
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    QMetaObject::invokeMethod(
        client,
        [client, rc] {
            if (rc != 0) {
                client->refused(rc);
                return;
            }
            if (client->m_state != State::Connecting)
                return;
            client->m_state = State::Connected;
            client->m_retryMs = FirstRetryMs;
            client->m_connectedAt.start();
            if (client->m_downSince.isValid())
                client->log(QStringLiteral("connected again after %1 s (%2 more attempt(s) failed)")
                                .arg(client->m_downSince.elapsed() / 1000)
                                .arg(client->m_quietAttempts));
            else
                client->log(QStringLiteral("connected"));
            client->m_downSince.invalidate();
            emit client->connected();
        },
        Qt::QueuedConnection);
}

void MqttClient::onDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    // Kept at once: the closed socket may be noticed (by sync()) before a queued call would run.
    if (rc >= 0x80) // a reason code the broker sent
        client->m_brokerReason = rc;
    QMetaObject::invokeMethod(
        client, [client, rc] { client->connectionLost(errorText(rc)); }, Qt::QueuedConnection);
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        client,
        [client, topic, payload, retained] { emit client->message(topic, payload, retained); },
        Qt::QueuedConnection);
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain) {
    if (m_state != State::Connected)
        return;
    check(mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                            payload.constData(), 0, retain),
          "publish");
}

void MqttClient::subscribe(const QString& filter) {
    if (m_state == State::Connected)
        check(mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), 0), "subscribe");
}

void MqttClient::finish(const QString& topic, const QByteArray& payload, int timeoutMs) {
    if (m_state != State::Connected)
        return;
    if (!topic.isEmpty())
        publish(topic, payload, true);
    mosquitto_disconnect(m_mosq);
    m_state = State::Idle;
    dropNotifiers();
    m_misc.stop();
    m_retry.stop();
    const QDeadlineTimer deadline(timeoutMs);
    while (mosquitto_want_write(m_mosq) && mosquitto_socket(m_mosq) >= 0 &&
           !deadline.hasExpired()) {
        pollfd p{mosquitto_socket(m_mosq), POLLOUT, 0};
        if (::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime()))) <= 0)
            break;
        if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
}

void MqttClient::check(int rc, const char* what) {
    // A failed loop call has closed the socket; sync() sees that and starts the retry.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        m_lastError = errorText(rc);
    if (rc != MOSQ_ERR_SUCCESS)
        logDetail(QStringLiteral("%1: broker %2: %3: %4")
                      .arg(m_label, brokerName(), QLatin1String(what), m_lastError));
    sync();
}

void MqttClient::sync() {
    if (m_state == State::Idle || m_state == State::Waiting)
        return;
    const int fd = mosquitto_socket(m_mosq);
    if (fd != m_fd)
        dropNotifiers();
    if (fd < 0) {
        connectionLost(m_lastError.isEmpty() ? QStringLiteral("socket closed") : m_lastError);
        return;
    }
    if (!m_read) {
        m_fd = fd;
        m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(m_read.get(), &QSocketNotifier::activated, this,
                [this] { check(mosquitto_loop_read(m_mosq, 1), "read"); });
        m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        connect(m_write.get(), &QSocketNotifier::activated, this,
                [this] { check(mosquitto_loop_write(m_mosq, 1), "write"); });
    }
    // Level-triggered: left enabled with nothing to send, the write notifier would spin.
    m_write->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttClient::dropNotifiers() {
    // This may run inside a notifier's own activation: disable now, delete on the next pass.
    for (auto* notifier : {&m_read, &m_write}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    m_fd = -1;
}

} // namespace vesk::mqtt
