#include "portlocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace vesk {

namespace {
// English texts; the consoles install a translation for them, the command-line tools none.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(PortLocation)
};
} // namespace

QString PortLocation::text() const {
    if (kind != Kind::Tcp)
        return path;
    const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("tcp://%1:%2").arg(h).arg(tcpPort);
}

namespace {

// True when `text` is 1 to `most` ASCII digits.
bool isDigits(QStringView text, qsizetype most) {
    return !text.isEmpty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// COM followed by digits: a Windows port name, valid or not.
bool isComName(QStringView text) {
    return text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
           isDigits(text.sliced(3), text.size());
}

bool isHostChar(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'.' || c == u'_' || c == u':' || c == u'%' || c == u'-';
}

std::optional<PortLocation> refuse(QString* why, const QString& reason) {
    if (why)
        *why = reason;
    return std::nullopt;
}

std::optional<PortLocation> parseTcp(QStringView rest, QString* why) {
    QStringView host;
    QStringView port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(why, Texts::tr("expected tcp://[IPv6 address]:PORT"));
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(why, Texts::tr("missing :PORT after the host"));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return refuse(why, Texts::tr("an IPv6 address needs brackets: tcp://[ADDRESS]:PORT"));
    }
    if (host.isEmpty())
        return refuse(why, Texts::tr("the host is empty"));
    // Host names and addresses only: no user part, path, blanks or control characters.
    if (!std::all_of(host.begin(), host.end(), isHostChar))
        return refuse(why, Texts::tr("the host \"%1\" is not a host name or address").arg(host));
    const uint number = isDigits(port, 5) ? port.toUInt() : 0;
    if (number < 1 || number > 65535)
        return refuse(why, Texts::tr("the TCP port must be a number from 1 to 65535"));
    PortLocation location;
    location.kind = PortLocation::Kind::Tcp;
    location.host = host.toString();
    location.tcpPort = static_cast<quint16>(number);
    return location;
}

} // namespace

std::optional<PortLocation> parsePortLocation(QStringView text, QString* why) {
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return refuse(why, Texts::tr("no port given"));
    for (const QChar c : t) {
        if (c.category() == QChar::Other_Control)
            return refuse(why, Texts::tr("control characters in the port name"));
    }
    if (t.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive))
        return parseTcp(t.mid(6), why);
    if (t.contains(QLatin1String("://")))
        return refuse(why, Texts::tr("only tcp:// addresses are supported"));
    // COM1 to COM999, any case, as Windows names its ports.
    if (const QStringView n = isComName(t) ? t.sliced(3) : QStringView();
        !n.isEmpty() && n.size() <= 3 && n.front() != u'0') {
        PortLocation location;
        location.kind = PortLocation::Kind::WindowsCom;
        location.path = QStringLiteral("COM") + n.toString();
        return location;
    }
    if (!t.startsWith(QLatin1Char('/')))
        return refuse(why, Texts::tr("expected a device path such as /dev/ttyUSB0, COMn "
                                     "or tcp://HOST:PORT"));
    if (t.endsWith(QLatin1Char('/')))
        return refuse(why, Texts::tr("the path names a folder, not a device"));
    PortLocation location;
    location.path = t.toString();
    return location;
}

std::optional<PortLocation> parsePortArgument(QStringView text, QString* why) {
    const QString t = text.trimmed().toString();
    // COMn is a port number; other names beginning with "com" (./com-link, combox) are files.
    const bool relative = !t.isEmpty() && !t.startsWith(QLatin1Char('/')) &&
                          !t.contains(QLatin1String("://")) && !isComName(t) &&
                          !t.endsWith(QLatin1Char('/'));
    if (!relative)
        return parsePortLocation(text, why);
    QString path = QDir::current().absoluteFilePath(t);
    const QString inDev = QStringLiteral("/dev/") + t;
    if (!QFileInfo::exists(path) && !t.contains(QLatin1Char('/')) && QFileInfo::exists(inDev))
        path = inDev;
    return parsePortLocation(QDir::cleanPath(path), why);
}

} // namespace vesk
