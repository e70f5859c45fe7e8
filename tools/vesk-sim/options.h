// Command-line options of vesk-sim.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesk::sim {

struct SimOptions {
    QList<quint8> addresses{1}; // one controller per address, all on the one line
    double timeScale = 1.0;     // device-side delays run this many times faster
    QString logFile;            // empty: log to stderr
    bool quiet = false;         // no log at all
    QString devicePath;         // empty: open a pseudo-terminal
    QString linkPath;           // symlink to the pseudo-terminal's slave, if given
};

// Parses the arguments (argv[0] included). On --help, *help holds the usage text and the result is
// empty; on a bad argument, *error says why.
std::optional<SimOptions> parseOptions(const QStringList& arguments, QString* error, QString* help);

} // namespace vesk::sim
