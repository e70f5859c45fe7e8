// Process-wide set-up shared by both programs: style, fonts and Qt's own translations.
#pragma once

#include "areas/buildprofile.h"

class QApplication;
class QString;

namespace vesk {

void setUpApplication(QApplication& app, const QString& program);
// Creates the window, runs its start-up sequence, shows it and runs the event loop.
int runConsole(QApplication& app, BuildProfile profile);

} // namespace vesk
