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
    // Topics and payloads come from the network: a control character must not forge a log line.
    QString line = text;
    for (QChar& c : line)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    std::fprintf(stderr, "%s %s\n", qPrintable(stamp), qPrintable(line));
    std::fflush(stderr);
}

void logDetail(const QString& text) {
    if (g_verbose)
        logLine(text);
}

} // namespace vesk::mqtt
