// Runs one request over an open link: its frames one at a time, then the query or read-back.
#pragma once

#include <QByteArray>
#include <QString>

#include "core/task.h"

namespace vesk {
class Waits;
}

namespace vesk::ctl {

class Link;
class Output;
struct Request;

// The settle time before the read-back: the console queries half a second after a switch.
inline constexpr int SettleMs = 500;

struct SessionContext {
    Link& link;
    Waits& waits;
    Output& output;
    QString port;
};

// Yields the exit code. Every wait is bounded: the task ends within the request's timeout (plus
// its dwell and settle time) whatever the device does.
Task<int> runRequest(SessionContext context, Request request);

} // namespace vesk::ctl
