#include "share.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <QTimer>

#include "core/serialport.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif
#include "core/tcplink.h"

namespace vesk::share {

namespace {

// English texts; the consoles install a translation for them, the command-line tools none.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PortReasons)
};

// The same name for every spelling of the port, short enough for a socket path.
QString key(const QString& canonicalPort) {
    const QByteArray hash =
        QCryptographicHash::hash(canonicalPort.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("vesk-share-") + QString::fromLatin1(hash.left(16));
}

QStringList folders() {
    return {QStringLiteral("/run/lock"), QStringLiteral("/var/lock"), QDir::tempPath()};
}

// The stream to a share: connects, reads the greeting and only then counts as connected, all
// from the event loop, so that a daemon that accepted but does not answer (stopped, overloaded)
// costs the program a wait, never a frozen window. A share that will not carry this program fails
// with the reason; one that has ended meanwhile fails as Gone, and the port is opened itself.
class ShareStream final : public StreamLink {
public:
    ShareStream(std::unique_ptr<LocalLink> link, QString name, qint64 pid)
        : m_link(std::move(link)), m_name(std::move(name)), m_pid(pid) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { refuse(notGreeted()); });
        m_link->setEvents({
            .connected = {},
            .readyRead = [this] { onReadyRead(); },
            .disconnected =
                [this] {
                    // A share that closes without a word is a daemon that stopped just now.
                    if (!m_greeted)
                        end(Failure::Gone);
                    else if (m_events.disconnected)
                        m_events.disconnected();
                },
            .failed = [this](Failure failure) { onFailed(failure); },
        });
        m_timer.start(GreetingTimeoutMs);
        m_link->connectTo(m_name, SerialPortControl::ReceiveBufferSize);
    }
    ~ShareStream() override { m_link->setEvents({}); }

    void setEvents(Events events) override { m_events = std::move(events); }
    bool isConnected() const override { return m_greeted && m_link->isConnected(); }
    bool isIdle() const override { return m_ended || m_link->isIdle(); }
    QIODevice* device() override { return m_link->device(); }
    void flush() override { m_link->flush(); }
    void abort() override {
        // Ended by its user: the disconnection this causes is no failure to report.
        m_ended = true;
        m_timer.stop();
        m_link->abort();
    }
    QString errorString() const override {
        return m_reason.isEmpty() ? m_link->errorString() : m_reason;
    }
    QString via() const override { return m_via; }

private:
    void onReadyRead() {
        if (m_greeted) {
            if (m_events.readyRead)
                m_events.readyRead();
            return;
        }
        if (m_ended)
            return;
        const QByteArray line = m_link->readLine(MaxGreeting);
        if (line.isEmpty() && m_link->bytesAvailable() < MaxGreeting)
            return; // the rest of the line is on its way
        const std::optional<Greeting> greeting = parseGreeting(line);
        if (!greeting)
            return refuse(notGreeted());
        if (!greeting->refusal.isEmpty())
            return refuse(Texts::tr("in use by process %1 (%2), which refused to share it: %3")
                              .arg(greeting->pid)
                              .arg(greeting->program, greeting->refusal));
        m_timer.stop();
        m_greeted = true;
        m_via = viaText(greeting->program, greeting->pid);
        if (m_events.connected)
            m_events.connected();
    }
    void onFailed(Failure failure) {
        if (m_greeted) {
            if (m_events.failed)
                m_events.failed(failure);
            return;
        }
        switch (m_link->outcome()) {
        case LocalLink::Outcome::Missing:
        case LocalLink::Outcome::Refused:
        case LocalLink::Outcome::Closed:
            // Nothing listens there any more: the daemon has ended and its file stayed behind.
            return end(Failure::Gone);
        case LocalLink::Outcome::Permission:
            return end(Failure::Refused,
                       Texts::tr("in use by process %1 (vesk-mqtt), which shares it, but this "
                                 "user may not use its share %2 (permission denied: it is "
                                 "open to the device's owner and group)")
                           .arg(m_pid)
                           .arg(m_name));
        case LocalLink::Outcome::Connected:
        case LocalLink::Outcome::TimedOut:
        case LocalLink::Outcome::Other:
            return refuse(Texts::tr("in use by process %1 (vesk-mqtt), whose share %2 does not "
                                    "answer (%3)")
                              .arg(m_pid)
                              .arg(m_name, m_link->errorString()));
        }
    }
    QString notGreeted() const {
        return Texts::tr("in use by process %1 (vesk-mqtt), whose share %2 did not greet within "
                         "%3 ms")
            .arg(m_pid)
            .arg(m_name)
            .arg(GreetingTimeoutMs);
    }
    // Busy: it may carry the program later (a daemon that does not answer now, or one that
    // serves enough clients).
    void refuse(const QString& reason) { end(Failure::Busy, reason); }
    // Reported once, from the event loop: the caller sets the events after the stream is made.
    void end(Failure failure, const QString& reason = {}) {
        if (m_ended)
            return;
        m_ended = true;
        m_reason = reason;
        m_timer.stop();
        m_link->abort();
        QTimer::singleShot(0, &m_context, [this, failure] {
            if (m_events.failed)
                m_events.failed(failure);
        });
    }

    std::unique_ptr<LocalLink> m_link;
    QString m_name;
    qint64 m_pid = 0;
    Events m_events;
    QString m_reason;
    QString m_via;
    bool m_greeted = false;
    bool m_ended = false;
    QObject m_context; // ends pending calls with the stream
    QTimer m_timer;
};

} // namespace

QString pointerPath(const QString& canonicalPort) {
    const QString name = key(canonicalPort);
    QString writable;
    for (const QString& folder : folders()) {
        const QFileInfo info(folder);
        if (!info.isDir())
            continue;
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path))
            return path;
        if (writable.isEmpty() && info.isWritable())
            writable = path;
    }
    return writable;
}

QString defaultSocketPath(const QString& canonicalPort) {
    return pointerPath(canonicalPort) + QStringLiteral(".sock");
}

QString pipeName(const QString& canonicalPort) {
    return key(canonicalPort);
}

QByteArray pointerText(const Pointer& pointer) {
    return pointer.socket.toUtf8() + '\n' + QByteArray::number(pointer.pid) + '\n';
}

std::optional<Pointer> readPointer(const QString& canonicalPort) {
    const QString path = pointerPath(canonicalPort);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    Pointer pointer{QString::fromUtf8(lines.value(0)), lines.value(1).toLongLong()};
    if (pointer.socket.isEmpty() || pointer.pid <= 0)
        return std::nullopt;
#ifdef Q_OS_UNIX
    // Left by a daemon that was killed: nothing to connect to, and no reason to load the module
    // that would find that out.
    if (::kill(pid_t(pointer.pid), 0) != 0 && errno != EPERM)
        return std::nullopt;
#endif
    return pointer;
}

QByteArray greetingLine(const Greeting& g) {
    // The port is the last word before the verdict; a port never holds a blank or a line break.
    return QStringLiteral("%1 %2 %3 %4\n")
        .arg(g.program)
        .arg(g.pid)
        .arg(g.port, g.refusal.isEmpty() ? QStringLiteral("ready")
                                         : QStringLiteral("refused: ") + g.refusal)
        .toUtf8();
}

std::optional<Greeting> parseGreeting(QByteArrayView line) {
    QString text = QString::fromUtf8(line);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.contains(QLatin1Char('\n')))
        return std::nullopt;
    const QStringList words = text.split(QLatin1Char(' '));
    if (words.size() < 4)
        return std::nullopt;
    Greeting g{words.at(0), words.at(1).toLongLong(), words.at(2), {}};
    if (g.program.isEmpty() || g.pid <= 0 || g.port.isEmpty())
        return std::nullopt;
    const QString verdict = words.mid(3).join(QLatin1Char(' '));
    if (verdict == QLatin1String("ready"))
        return g;
    if (!verdict.startsWith(QLatin1String("refused: ")) || verdict.size() <= 9)
        return std::nullopt;
    g.refusal = verdict.mid(9);
    return g;
}

QString viaText(const QString& program, qint64 pid) {
    return Texts::tr("through %1, process %2").arg(program).arg(pid);
}

std::unique_ptr<StreamLink> ShareRoute::offer(const PortLocation& location,
                                              const QString& canonical) {
    Q_UNUSED(location)
#ifdef Q_OS_WIN
    const QString name = pipeName(canonical);
    const qint64 pid = 0;
#else
    const std::optional<Pointer> pointer = readPointer(canonical);
    if (!pointer)
        return nullptr;
    const QString name = pointer->socket;
    const qint64 pid = pointer->pid;
#endif
    // Without the network module the port is opened as before: busy, with its holder named.
    QString why;
    std::unique_ptr<LocalLink> link = createLocalLink(&why);
    if (!link)
        return nullptr;
    return std::make_unique<ShareStream>(std::move(link), name, pid);
}

} // namespace vesk::share
