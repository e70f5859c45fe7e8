// What the user asked for, checked and turned into frames before any port is opened.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vesk::ctl {

// Exit codes, as documented in --help and the man page.
namespace Exit {
inline constexpr int Done = 0;
inline constexpr int SomeOff = 1; // status CH...: a channel named is off
inline constexpr int BadInput = 2;
inline constexpr int PortFailed = 3;
inline constexpr int NoReply = 4;
inline constexpr int Mismatch = 5;
// Ended by a signal: 128 + its number (SIGHUP 129, SIGINT 130, SIGTERM 143).
inline constexpr int Signalled = 128;
} // namespace Exit

using ChannelStates = QList<std::pair<int, bool>>; // channel (1..8) and on

// One step of a command: write a frame, then pause before the next step.
struct Step {
    QByteArray frame;
    ChannelStates effect; // the channels the frame switches, and to which state
    QString label;        // what the frame is, for a report ("the off"); empty: by its number
    // Read back after this frame, and go on only when the device confirms it (cycle's off).
    ChannelStates confirm;
    // The dwell of `cycle`: the next frame goes out this long after the first frame with this
    // step's label.
    int pauseAfterMs = 0;
    // The controller switches channels on its own timer (its delays, a delayed switch): what the
    // frame has left at any moment is not known here.
    bool timed = false;
};

struct Request {
    QString command;
    QString port = QStringLiteral("COM1");
    quint8 address = 1;
    bool broadcast = false;
    int timeoutMs = 1000;
    bool json = false;
    bool dryRun = false;
    bool quiet = false;
    bool verify = true;
    QString journal;
    int waitSeconds = 0; // how long to queue for a port held by another program
    QString words;       // the command and its arguments as given, for reports

    QList<Step> steps;
    bool query = false;        // status: only the query
    QList<int> statusChannels; // status CH...: the channels whose states set the exit code
    // The read-back after a switch: channel (1..8) and the state asked for it.
    QList<std::pair<int, bool>> expected;
    QString note; // told to the user after the frames (read-back off by broadcast, restart)
};

// The outcome of reading the command line: a request, or text to print and an exit code.
struct Parsed {
    std::optional<Request> request;
    QString output; // --help, --version (stdout)
    QString error;  // one line naming the bad value (stderr)
    int exitCode = Exit::Done;
    bool json = false; // --json was given: the error goes out as a JSON object too
};

// `arguments` includes the program name first.
Parsed parseArguments(const QStringList& arguments);

} // namespace vesk::ctl
