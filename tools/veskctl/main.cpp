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
#include "core/quitsignals.h"
#include "link.h"
#include "output.h"
#include "portqueue.h"
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

// The program named in /proc for a process id, for a message naming who holds the port.
QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

// One attempt to open: a device decides at once; a server once connected and, since one that
// serves another client says so at once and closes, a quiet gap later. True when open.
bool attempt(Link& link, const PortLocation& location, Interruption& interruption) {
    if (!link.open(location) || !location.isTcp())
        return link.port().portOpen();
    QEventLoop loop;
    QTimer settled;
    settled.setSingleShot(true);
    QObject::connect(&link, &Link::opened, &loop,
                     [&] { settled.start(SerialPortControl::QuietGapMs); });
    QObject::connect(&link, &Link::openFailed, &loop, &QEventLoop::quit);
    QObject::connect(&link, &Link::failed, &loop, &QEventLoop::quit);
    QObject::connect(&settled, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&interruption, &Interruption::raised, &loop, &QEventLoop::quit);
    if (link.connecting() || settled.isActive())
        loop.exec();
    // A server's busy text closes the port from the event loop, maybe after the gap ended.
    return link.port().portOpen() && link.port().lastError().reason != PortError::Reason::Busy &&
           interruption.signalNumber() == 0;
}

// Opens the port, queueing behind other jobs and waiting while another program holds it, up to
// request.waitSeconds. Exit::Done once open (or connecting), otherwise the exit code, reported.
int openQueued(Link& link, const PortLocation& location, const Request& request,
               std::unique_ptr<PortQueue>& queue, Interruption& interruption, Output& output) {
    if (request.waitSeconds == 0) {
        if (link.open(location))
            return Exit::Done;
        output.error(link.error());
        return Exit::PortFailed;
    }
    // Every waiting job takes its place first, so that one arriving just as the port comes free
    // does not go before those already waiting.
    queue = std::make_unique<PortQueue>(location);
    if (QString error; !queue->join(&error)) {
        output.error(QStringLiteral("cannot queue for the port: %1").arg(error));
        return Exit::PortFailed;
    }
    const QDeadlineTimer deadline(qint64(request.waitSeconds) * 1000, Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(queue.get(), &PortQueue::changed, &loop, &QEventLoop::quit);
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
            if (link.port().lastError().reason != PortError::Reason::Busy) {
                output.error(link.error());
                return Exit::PortFailed;
            }
        }
        if (deadline.hasExpired()) {
            const qint64 head = queue->first();
            const QString holder =
                queue->isFirst() || head == 0
                    ? link.error()
                    : QStringLiteral("port busy: %1: queued behind process %2 (%3)")
                          .arg(location.text())
                          .arg(head)
                          .arg(processName(head));
            output.error(QStringLiteral("%1; waited %2 s").arg(holder).arg(request.waitSeconds));
            return Exit::PortFailed;
        }
        // A server tells no one when its client leaves: ask it again a little later.
        const qint64 next = location.isTcp() && queue->isFirst() ? 250 : deadline.remainingTime();
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
    const std::optional<PortLocation> location = resolvePort(request.port, &error);
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
    Link link;
    journal.attach(link.port());
    std::unique_ptr<PortQueue> queue;
    int exitCode = openQueued(link, *location, request, queue, interruption, output);
    if (exitCode == Exit::Done) {
        spawn(runAndQuit(SessionContext{link, output, interruption, port}, request, &exitCode));
        QCoreApplication::exec();
    }
    // The port is closed before the next job in the queue is told.
    link.port().setPortOpen(false);
    queue.reset();
    output.finish(exitCode);
    return exitCode;
}
