#include "share.h"

#include <QBuffer>
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

// A share that will not carry this program: a connection that fails at once, in the share's words.
class RefusedStream final : public StreamLink {
public:
    // Busy: it may carry the program later (a daemon that does not answer now, or serves enough
    // clients); otherwise it never will.
    RefusedStream(QString reason, bool busy) : m_reason(std::move(reason)), m_busy(busy) {}
    void setEvents(Events events) override {
        m_events = std::move(events);
        if (m_events.failed)
            QTimer::singleShot(0, &m_context, [this] {
                m_events.failed(m_busy ? Failure::Busy : Failure::Refused);
            });
    }
    bool isConnected() const override { return false; }
    bool isIdle() const override { return false; }
    // Never open; not null, which would pass for a stream in use.
    QIODevice* device() override { return &m_none; }
    void flush() override {}
    void abort() override {}
    QString errorString() const override { return m_reason; }

private:
    QString m_reason;
    bool m_busy = false;
    Events m_events;
    QObject m_context; // ends the pending call with the stream
    QBuffer m_none;
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
                                              const QString& canonical, QString* note) {
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
    const auto refused = [](const QString& text, bool busy = true) {
        return std::make_unique<RefusedStream>(text, busy);
    };
    switch (link->connectTo(name, SerialPortControl::ReceiveBufferSize, GreetingTimeoutMs)) {
    case LocalLink::Outcome::Connected:
        break;
    case LocalLink::Outcome::Missing:
    case LocalLink::Outcome::Refused:
        // Nothing listens there any more: the daemon has ended and its file stayed behind.
        return nullptr;
    case LocalLink::Outcome::Permission:
        return refused(Texts::tr("in use by process %1 (vesk-mqtt), which shares it, but this "
                                 "user may not use its share %2 (permission denied: it is "
                                 "open to the device's owner and group)")
                           .arg(pid)
                           .arg(name),
                       false);
    case LocalLink::Outcome::TimedOut:
    case LocalLink::Outcome::Other:
        return refused(Texts::tr("in use by process %1 (vesk-mqtt), whose share %2 does not "
                                 "answer (%3)")
                           .arg(pid)
                           .arg(name, link->errorString()));
    }
    const QByteArray line = link->readLine(MaxGreeting, GreetingTimeoutMs);
    const std::optional<Greeting> greeting = parseGreeting(line);
    if (!greeting) {
        // A share that closes without a word is a daemon that stopped just now.
        if (line.isEmpty() && !link->isConnected())
            return nullptr;
        return refused(Texts::tr("in use by process %1 (vesk-mqtt), whose share %2 did not "
                                 "greet within %3 ms")
                           .arg(pid)
                           .arg(name)
                           .arg(GreetingTimeoutMs));
    }
    if (!greeting->refusal.isEmpty())
        return refused(Texts::tr("in use by process %1 (%2), which refused to share it: %3")
                           .arg(greeting->pid)
                           .arg(greeting->program, greeting->refusal));
    *note = viaText(greeting->program, greeting->pid);
    return link;
}

} // namespace vesk::share
