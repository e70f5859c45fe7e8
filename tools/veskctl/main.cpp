// veskctl: every operation of the console from a shell, with exit codes a script can trust.
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "core/journal.h"
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
    const std::optional<PortLocation> location = resolvePort(request.port, &error);
    if (!location) {
        print(stderr, QStringLiteral("veskctl: bad port '%1': %2\n").arg(request.port, error));
        return Exit::BadInput;
    }
    const QString port = location->text();
    if (request.dryRun)
        return dryRun(request);

    FrameJournal journal;
    if (!request.journal.isEmpty() && !journal.open(request.journal, &error)) {
        print(stderr, QStringLiteral("veskctl: bad %1\n").arg(error));
        return Exit::BadInput;
    }
    Output output(request, port);
    Link link;
    journal.attach(link.port());
    if (!link.open(*location)) {
        output.error(link.error());
        output.finish(Exit::PortFailed);
        return Exit::PortFailed;
    }

    Waits waits;
    int exitCode = Exit::PortFailed;
    spawn(runAndQuit(SessionContext{link, waits, output, port}, request, &exitCode));
    QCoreApplication::exec();
    output.finish(exitCode);
    return exitCode;
}
