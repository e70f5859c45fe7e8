// Process-wide set-up shared by both programs: style, fonts and translations.
#pragma once

#include "app/language.h"
#include "areas/buildprofile.h"

#include <optional>

class QApplication;
class QString;

namespace vesk {

// Style, fonts, names and the translations of `language`.
void setUpApplication(QApplication& app, const QString& program,
                      Language language = Language::Chinese);
// --help and --version, answered from the arguments alone before any window, display or port
// exists. Returns the exit code when one of them was given, nullopt to go on.
std::optional<int> answerInfoOptions(int argc, char** argv, const QString& program);
// Reads the port options (--com1 .. --com4; a value that is not a port ends the program with a
// message), creates the window, runs its start-up sequence, shows it and runs the event loop.
// SIGTERM, SIGINT and SIGHUP close the window as the operator would.
int runConsole(QApplication& app, BuildProfile profile);

} // namespace vesk
