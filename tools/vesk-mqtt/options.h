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
};

inline constexpr const char* DefaultConfigPath = "/etc/vesk-mqtt.conf";

// nullopt with `output` set: print it and exit with `exitCode` (help, version, an error).
std::optional<Options> parseOptions(const QStringList& arguments, QString* output, int* exitCode);

} // namespace vesk::mqtt
