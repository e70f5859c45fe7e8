// The topics the daemon publishes and the commands it accepts, built and taken apart here only:
//   BASE/bridge/availability      online | offline (retained): the daemon itself, its last will
//   BASE/NAME/availability        online | offline (retained): the controller answers
//   BASE/NAME/channel/N           ON | OFF (retained), N = 1..8
//   BASE/NAME/event               one JSON object per event (not retained)
//   BASE/NAME/channel/N/set       ON | OFF | TOGGLE
//   BASE/NAME/all/set             ON | OFF (the controller's timed all-on / all-off)
//   BASE/NAME/keys/set            LOCK | UNLOCK
// and Home Assistant's PREFIX/COMPONENT/OBJECT_ID/config and PREFIX/status.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <variant>

namespace vesk::mqtt {

inline constexpr int MaxPayload = 64;
// The base topic whose identities carry no site part (those of earlier versions).
inline constexpr const char* DefaultBaseTopic = "vesk";
// The level of the daemon's own topics beside the controllers' (a name no controller may take).
inline constexpr const char* BridgeLevel = "bridge";

enum class Action { On, Off, Toggle, Lock, Unlock };

struct Command {
    QString controller;
    enum class Target { Channel, All, Keys } target = Target::Channel;
    int channel = 0; // 1..8 for Target::Channel
    Action action = Action::On;
};

// What a topic under the base topic is.
struct TopicKind {
    enum Kind {
        None,         // not one of the daemon's topics
        Bridge,       // BASE/bridge/...
        Availability, // BASE/NAME/availability
        State,        // BASE/NAME/channel/N
        Event,        // BASE/NAME/event
        Command,      // BASE/NAME/channel/N/set, BASE/NAME/all/set, BASE/NAME/keys/set
        Malformed,    // BASE/NAME/.../set that is no command (the reason says why)
    } kind = None;
    QString controller; // the NAME level
    int channel = 0;    // of State and a channel command
};

// A controller name usable as one topic level and in an object id: 1-32 ASCII letters, digits,
// '_' or '-', and not the daemon's own level.
bool isValidName(const QString& name);

// Takes a topic under `base` apart; "BASE/NAME/..." with a NAME that is no valid controller name
// is None.
TopicKind parseTopic(const QString& base, const QString& topic);

// A command, or the reason the message is ignored (for the log line and the refused event).
std::variant<Command, QString> parseCommand(const QString& base, const QString& topic,
                                            const QByteArray& payload);

QString bridgeAvailabilityTopic(const QString& base);
QString availabilityTopic(const QString& base, const QString& name);
QString channelTopic(const QString& base, const QString& name, int channel);
QString commandTopic(const QString& base, const QString& name, int channel);
// BASE/NAME/all/set or BASE/NAME/keys/set.
QString targetCommandTopic(const QString& base, const QString& name, Command::Target target);
QString eventTopic(const QString& base, const QString& name);
// The subscriptions that hear every command under `base`.
QStringList commandFilters(const QString& base);
// Whether `topic` matches the subscription `filter` (MQTT's wildcard rules).
bool topicMatches(const QString& filter, const QString& topic);

// Home Assistant: its birth topic and the configuration topic of one entity.
QString discoveryStatusTopic(const QString& prefix);
QString discoveryTopic(const QString& prefix, const QString& component, const QString& objectId);
// The components the daemon announces, for --purge's subscriptions.
QStringList discoveryComponents();
// The object id of a controller's entity (`suffix` "1".."8", "all_on", "event", ...) or, with an
// empty suffix, of its device: vesk_NAME[_SUFFIX] under the default base topic, otherwise
// vesk_SITE_NAME[_SUFFIX] with SITE made of the base topic, so that two sites on one broker never
// share one. Letters, digits, '_' and '-' only.
QString objectId(const QString& base, const QString& name, const QString& suffix = {});

// Text of a command for the log: "rack1 channel 3 ON"; its payload word: "ON".
QString describe(const Command& command);
QString actionWord(Action action);
// The payload as a word, printable in a log line whatever it holds.
QString shownPayload(const QByteArray& payload);

} // namespace vesk::mqtt
