// The daemon: one queue per serial line, one controller per configured section, and one broker
// connection per controller, so that each controller's availability has its own last will.
#pragma once

#include "config.h"

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

class Daemon : public QObject {
    Q_OBJECT
public:
    // `journal`, when given, records every frame on every line; it must outlive the daemon.
    explicit Daemon(const Config& config, FrameJournal* journal = nullptr,
                    QObject* parent = nullptr);
    ~Daemon() override;

    // Sets up the broker connections; false with a reason when that is impossible.
    bool start(QString* reason);
    // Publishes every controller "offline" and disconnects cleanly.
    void stop();

private:
    struct Unit {
        std::unique_ptr<MqttClient> client;
        std::unique_ptr<Controller> controller;
    };

    void onConnected(Unit& unit, bool first);
    void onMessage(Unit& unit, bool first, const QString& topic, const QByteArray& payload,
                   bool retained);
    bool isKnown(const QString& name) const;

    Config m_config;
    FrameJournal* m_journal = nullptr;
    std::map<QString, std::unique_ptr<PortQueue>> m_ports; // by canonical port
    std::vector<std::unique_ptr<Unit>> m_units;
    QSet<QString> m_staleReported; // retained command topics already logged
};

} // namespace vesk::mqtt
