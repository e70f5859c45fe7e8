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
inline constexpr int BadInput = 2;
inline constexpr int PortFailed = 3;
inline constexpr int NoReply = 4;
inline constexpr int Mismatch = 5;
} // namespace Exit

// One step of a command: write a frame, then pause before the next step.
struct Step {
    QByteArray frame;
    int pauseAfterMs = 0; // the dwell of `cycle`
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

    QList<Step> steps;
    bool query = false; // status: only the query
    // The read-back after a switch: channel (1..8) and the state asked for it.
    QList<std::pair<int, bool>> expected;
    QString note; // told to the user before anything is sent (read-back off by broadcast)
};

// The outcome of reading the command line: a request, or text to print and an exit code.
struct Parsed {
    std::optional<Request> request;
    QString output; // --help, --version (stdout)
    QString error;  // one line naming the bad value (stderr)
    int exitCode = Exit::Done;
};

// `arguments` includes the program name first.
Parsed parseArguments(const QStringList& arguments);

} // namespace vesk::ctl
