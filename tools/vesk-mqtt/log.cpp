#include "log.h"

#include <QDateTime>

#include <cstdio>

namespace vesk::mqtt {

namespace {
bool g_verbose = false;
}

void setVerbose(bool on) {
    g_verbose = on;
}

bool verbose() {
    return g_verbose;
}

void logLine(const QString& text) {
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    std::fprintf(stderr, "%s %s\n", qPrintable(stamp), qPrintable(text));
    std::fflush(stderr);
}

void logDetail(const QString& text) {
    if (g_verbose)
        logLine(text);
}

} // namespace vesk::mqtt
