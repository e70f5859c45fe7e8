#include "broker.h"

#include "support/simprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

Broker::Broker() : m_port(freePort()) {
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (config.open(QIODevice::WriteOnly))
        config.write(
            QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n%2")
                .arg(m_port)
                .arg(::geteuid() == 0 ? QStringLiteral("user root\n") : QString())
                .toUtf8());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

Broker::~Broker() {
    kill();
}

bool Broker::start() {
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
    if (!m_process.waitForStarted(5000))
        return false;
    // Ready once a client gets through: a real connect, retried while the broker starts.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (publish(QStringLiteral("test/ready"), "1"))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void Broker::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool Broker::publish(const QString& topic, const QByteArray& payload, bool retain) const {
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("-p"), QString::number(m_port),
                          QStringLiteral("-t"), topic,
                          QStringLiteral("-m"), QString::fromUtf8(payload)};
    if (retain)
        arguments << QStringLiteral("-r");
    QProcess pub;
    pub.setStandardErrorFile(QProcess::nullDevice());
    pub.start(QStringLiteral("mosquitto_pub"), arguments);
    return pub.waitForFinished(5000) && pub.exitStatus() == QProcess::NormalExit &&
           pub.exitCode() == 0;
}

Subscriber::Subscriber(const Broker& broker, const QStringList& filters) {
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(broker.port()), QStringLiteral("-v")};
    for (const QString& filter : filters)
        arguments << QStringLiteral("-t") << filter;
    m_process.start(QStringLiteral("mosquitto_sub"), arguments);
    m_process.waitForStarted(5000);
}

Subscriber::~Subscriber() {
    m_process.kill();
    m_process.waitForFinished(3000);
}

QStringList Subscriber::lines() {
    m_partial += m_process.readAllStandardOutput();
    takeLines(m_partial, m_lines);
    return m_lines;
}

int Subscriber::count(const QString& line) {
    return int(lines().count(line));
}

bool Subscriber::waitFor(const QString& line, int timeoutMs, int after) {
    const QDeadlineTimer deadline(timeoutMs);
    while (count(line) <= after && !deadline.hasExpired())
        QTest::qWait(10);
    return count(line) > after;
}
