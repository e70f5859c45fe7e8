// The daemon's log: one line per event on standard error, each with a timestamp, so that journald
// or a terminal shows when it happened. Frames are logged only when verbose.
#pragma once

#include <QString>

namespace vesk::mqtt {

void setVerbose(bool on);
bool verbose();
void logLine(const QString& text);
// Logged only with --verbose.
void logDetail(const QString& text);

} // namespace vesk::mqtt
