// The commands: each checks its arguments and fills the request with the frames the console sends
// for the same operation.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "request.h"

namespace vesk::ctl {

// Command options as given (unset when absent); each belongs to one command.
struct CommandOptions {
    std::optional<QString> dwell;
    std::optional<QString> on;
    std::optional<QString> off;
    std::optional<QString> after;
};

// Fills request.steps (and the read-back) for request.command with `words` as its arguments.
// Returns one line naming the bad value, or an empty text.
QString buildCommand(Request& request, const QStringList& words, const CommandOptions& options);

} // namespace vesk::ctl
