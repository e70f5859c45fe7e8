// The topics the daemon publishes and the commands it accepts:
//   BASE/NAME/availability        online | offline (retained)
//   BASE/NAME/channel/N           ON | OFF (retained), N = 1..8
//   BASE/NAME/channel/N/set       ON | OFF | TOGGLE
//   BASE/NAME/all/set             ON | OFF (the controller's timed all-on / all-off)
//   BASE/NAME/keys/set            LOCK | UNLOCK
#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

namespace vesk::mqtt {

inline constexpr int MaxPayload = 64;

enum class Action { On, Off, Toggle, Lock, Unlock };

struct Command {
    QString controller;
    enum class Target { Channel, All, Keys } target = Target::Channel;
    int channel = 0; // 1..8 for Target::Channel
    Action action = Action::On;
};

// A command, or the reason the message is ignored (for the log line).
std::variant<Command, QString> parseCommand(const QString& base, const QString& topic,
                                            const QByteArray& payload);

QString availabilityTopic(const QString& base, const QString& name);
QString channelTopic(const QString& base, const QString& name, int channel);
QString commandTopic(const QString& base, const QString& name, int channel);

// Text of a command for the log: "rack1 channel 3 ON".
QString describe(const Command& command);

} // namespace vesk::mqtt
