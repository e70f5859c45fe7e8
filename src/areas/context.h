// The few services the window hands every operation area: the link to the controller, the status
// query, the waits, the place for messages and what differs between the two programs.
#pragma once

class QWidget;

namespace vesk {

struct BuildProfile;
class DeviceLink;
class MessageSink;
class StatusQuery;
class Waits;

struct AreaContext {
    DeviceLink& link;
    StatusQuery& status;
    Waits& waits;
    MessageSink& messages;
    const BuildProfile& profile;
    // The window, for controls that stand on it directly rather than inside a frame.
    QWidget* window;
};

} // namespace vesk
