// The daemon: one queue per serial line, one controller per configured section, and one broker
// connection for all of them (none when the configuration names no broker). The connection's last
// will sets the daemon's availability (BASE/bridge/availability) offline; each controller's own
// availability says whether it answers, and Home Assistant counts an entity available only while
// both are online.
#pragma once

#include "config.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <map>
#include <memory>
#include <vector>

namespace vesk {
class FrameJournal;
}

namespace vesk::mqtt {

class Controller;
class MqttClient;
class PortQueue;
class LineShare;

struct DaemonOptions {
    // When set, records switching and settings frames with their outcome; it must outlive the
    // daemon.
    FrameJournal* journal = nullptr;
    // Also every status query and reply.
    bool journalPolls = false;
};

class Daemon : public QObject {
    Q_OBJECT
public:
    explicit Daemon(const Config& config, const DaemonOptions& options = {},
                    QObject* parent = nullptr);
    ~Daemon() override;

    // Opens the lines and sets up the broker connection, if any; false with a reason when that is
    // impossible.
    bool start(QString* reason);
    // Publishes every controller and the daemon "offline" and disconnects cleanly.
    void stop();

private:
    void onConnected();
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    QString retainedHint(const QString& topic) const;

    Config m_config;
    DaemonOptions m_options;
    std::map<QString, std::unique_ptr<PortQueue>> m_ports; // by canonical port
    std::unique_ptr<MqttClient> m_client;                  // null without a broker
    std::vector<std::unique_ptr<Controller>> m_controllers;
    QHash<QString, Controller*> m_byName;
    std::vector<std::unique_ptr<LineShare>> m_shares; // one per port
    QSet<QString> m_staleReported;                    // retained command topics already logged
};

} // namespace vesk::mqtt
