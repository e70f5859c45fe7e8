// The command line: a configuration file, or the simple case of one controller spelled out on
// the command line.
#pragma once

#include "config.h"

#include <QStringList>

#include <optional>

namespace vesk::mqtt {

struct Options {
    Config config;
    QString configPath; // empty when the command line describes the controller
    bool checkOnly = false;
    bool verbose = false;
    bool purge = false;
    QString purgeName;         // --purge NAME: only this controller; empty: every unconfigured one
    QString journalPath;       // --journal FILE: switches and their outcome; empty: none
    bool journalPolls = false; // --journal-polls: status queries and replies too
};

// Exit statuses: 0 done, 1 could not start (or a purge failed), 2 bad command line or
// configuration, 3 another vesk-mqtt already serves the same client id or port.
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitAlreadyRunning = 3;

inline constexpr const char* DefaultConfigPath = "/etc/vesk-mqtt.conf";

// nullopt with `output` set: print it and exit with `exitCode` (help, version, an error).
std::optional<Options> parseOptions(const QStringList& arguments, QString* output, int* exitCode);

} // namespace vesk::mqtt
