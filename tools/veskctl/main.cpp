// veskctl: every operation of the console from a shell, with exit codes a script can trust.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

#include "core/serialport.h"
#include "core/waits.h"
#include "link.h"
#include "output.h"
#include "request.h"
#include "session.h"

using namespace vesk;
using namespace vesk::ctl;

namespace {

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// The device path for the port the user named: COM1..COM4 by the console's mapping, or a path.
std::optional<QString> devicePath(const QString& port, QString* error) {
    static const QRegularExpression com(QStringLiteral("^COM([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto match = com.match(port); match.hasMatch())
        return SerialPortControl::deviceNameFor(match.captured(1).toInt());
    if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ||
        port.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive)) {
        *error = QStringLiteral("bad port '%1' (a device path, COM1..COM4)").arg(port);
        return std::nullopt;
    }
    return port;
}

int dryRun(const Request& request) {
    QJsonArray frames;
    QString text;
    for (const Step& step : request.steps) {
        frames.append(frameLine(step.frame));
        text += frameLine(step.frame) + QLatin1Char('\n');
    }
    if (request.quiet)
        return Exit::Done;
    if (request.json)
        text = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("frames"), frames}})
                                     .toJson(QJsonDocument::Compact)) +
               QLatin1Char('\n');
    print(stdout, text);
    return Exit::Done;
}

// Runs the request and leaves the event loop with its exit code in *code.
Task<> runAndQuit(SessionContext context, Request request, int* code) {
    *code = co_await runRequest(context, request);
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veskctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));

    const Parsed parsed = parseArguments(QCoreApplication::arguments());
    if (!parsed.request) {
        if (!parsed.error.isEmpty())
            print(stderr, QStringLiteral("veskctl: %1\n").arg(parsed.error));
        print(stdout, parsed.output);
        return parsed.exitCode;
    }
    const Request& request = *parsed.request;
    QString error;
    const std::optional<QString> path = devicePath(request.port, &error);
    if (!path) {
        print(stderr, QStringLiteral("veskctl: %1\n").arg(error));
        return Exit::BadInput;
    }
    if (request.dryRun)
        return dryRun(request);

    Journal journal;
    if (!request.journal.isEmpty() && !journal.open(request.journal, &error)) {
        print(stderr, QStringLiteral("veskctl: %1\n").arg(error));
        return Exit::BadInput;
    }
    Output output(request, *path);
    Link link;
    if (link.open(*path, &error) != OpenResult::Opened) {
        output.error(error);
        output.finish(Exit::PortFailed);
        return Exit::PortFailed;
    }

    Waits waits;
    int exitCode = Exit::PortFailed;
    spawn(runAndQuit(SessionContext{link, waits, output, journal, *path}, request, &exitCode));
    QCoreApplication::exec();
    output.finish(exitCode);
    return exitCode;
}
