// veskctl: every operation of the console from a shell, with exit codes a script can trust.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/journal.h"
#include "core/line.h"
#include "core/portreasons.h"
#include "core/quitsignals.h"
#include "core/share.h"
#include "output.h"
#include "request.h"
#include "session.h"
#include "waitqueue.h"

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

// One attempt to open: a device decides at once, a server once it has connected and settled.
// True when open.
bool attempt(Line& link, const PortLocation& location, Interruption& interruption) {
    if (!link.open(location) || !link.connecting())
        return link.isOpen();
    QEventLoop loop;
    QObject::connect(&link, &Line::opened, &loop, &QEventLoop::quit);
    QObject::connect(&link, &Line::openFailed, &loop, &QEventLoop::quit);
    QObject::connect(&link, &Line::lost, &loop, &QEventLoop::quit);
    QObject::connect(&interruption, &Interruption::raised, &loop, &QEventLoop::quit);
    loop.exec();
    return link.isOpen() && interruption.signalNumber() == 0;
}

// Opens the port, queueing behind other jobs and waiting while another program holds it, up to
// request.waitSeconds. Exit::Done once open (or connecting), otherwise the exit code, reported.
int openQueued(Line& link, const PortLocation& location, const Request& request,
               std::unique_ptr<WaitQueue>& queue, Interruption& interruption, Output& output) {
    if (request.waitSeconds == 0) {
        if (link.open(location))
            return Exit::Done;
        output.error(link.errorLine());
        return Exit::PortFailed;
    }
    // Every waiting job takes its place first, so that one arriving just as the port comes free
    // does not go before those already waiting.
    queue = std::make_unique<WaitQueue>(location);
    if (QString error; !queue->join(&error)) {
        output.error(QStringLiteral("cannot queue for the port: %1").arg(error));
        return Exit::PortFailed;
    }
    const QDeadlineTimer deadline(qint64(request.waitSeconds) * 1000, Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(queue.get(), &WaitQueue::changed, &loop, &QEventLoop::quit);
    QObject::connect(&interruption, &Interruption::raised, &loop, &QEventLoop::quit);
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A holder killed outright changes no file: look again now and then all the same.
    QTimer recheck;
    QObject::connect(&recheck, &QTimer::timeout, &loop, &QEventLoop::quit);
    recheck.start(1000);
    while (interruption.signalNumber() == 0) {
        if (queue->isFirst()) {
            if (attempt(link, location, interruption))
                return Exit::Done;
            if (interruption.signalNumber() != 0)
                break;
            if (link.error().reason != PortError::Reason::Busy) {
                output.error(link.errorLine());
                return Exit::PortFailed;
            }
        }
        if (deadline.hasExpired()) {
            const qint64 head = queue->first();
            const QString holder =
                queue->isFirst() || head == 0
                    ? link.errorLine()
                    : QStringLiteral("port busy: %1: queued behind process %2 (%3)")
                          .arg(location.text())
                          .arg(head)
                          .arg(processName(head));
            output.error(QStringLiteral("%1; waited %2 s").arg(holder).arg(request.waitSeconds));
            return Exit::PortFailed;
        }
        // A server tells no one when its client leaves, nor does a holder that keeps no lock file:
        // ask again a little later.
        const bool told = !location.isTcp() && queue->watchLock();
        const qint64 next = !told && queue->isFirst() ? 250 : deadline.remainingTime();
        end.start(int(std::clamp<qint64>(next, 1, std::max<qint64>(1, deadline.remainingTime()))));
        loop.exec();
    }
    output.interrupted(QStringLiteral("%1 interrupted while waiting for the port: nothing sent")
                           .arg(request.words));
    return Exit::Signalled + interruption.signalNumber();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veskctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));

    const Parsed parsed = parseArguments(QCoreApplication::arguments());
    if (!parsed.request) {
        if (!parsed.error.isEmpty()) {
            print(stderr, QStringLiteral("veskctl: %1\n").arg(parsed.error));
            if (parsed.json)
                Output::badInput(parsed.error);
        }
        print(stdout, parsed.output);
        return parsed.exitCode;
    }
    const Request& request = *parsed.request;
    const auto badInput = [&request](const QString& text) {
        print(stderr, QStringLiteral("veskctl: %1\n").arg(text));
        if (request.json)
            Output::badInput(text);
        return Exit::BadInput;
    };
    QString error;
    const std::optional<PortLocation> location =
        resolvePortName(request.port, ComMapping::Strict, &error);
    if (!location)
        return badInput(QStringLiteral("bad port '%1': %2").arg(request.port, error));
    const QString port = location->text();
    if (request.dryRun)
        return dryRun(request);

    FrameJournal journal;
    if (!request.journal.isEmpty() && !journal.open(request.journal, &error))
        return badInput(QStringLiteral("bad %1").arg(error));
    // From here on a signal ends the command in order: the frame being written is finished and
    // the report says what was left.
    Interruption interruption;
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &interruption, &Interruption::raise);

    Output output(request, port);
    // A port the daemon holds is reached through its share, as the same commands.
    share::ShareRoute route;
    Line link;
    link.setRoute(&route);
    journal.attach(link.port());
    // The way is known once the line is open: a share greets first.
    QObject::connect(&link, &Line::opened, &link, [&link, &output] {
        if (!link.via().isEmpty())
            output.via(link.via());
    });
    std::unique_ptr<WaitQueue> queue;
    int exitCode = openQueued(link, *location, request, queue, interruption, output);
    if (exitCode == Exit::Done) {
        spawn(runAndQuit(SessionContext{link, output, interruption, port}, request, &exitCode));
        QCoreApplication::exec();
    }
    // The port is closed before the next job in the queue is told.
    link.close();
    queue.reset();
    output.finish(exitCode);
    return exitCode;
}
