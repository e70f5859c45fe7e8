#include "broker.h"

#include "support/simprocess.h"

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

namespace {

// A CA and a server certificate for 127.0.0.1 signed by it, as files in `dir`.
bool makeCertificates(const QString& dir) {
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QFile ext(dir + "/ext");
    ext.open(QIODevice::WriteOnly);
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    auto run = [&dir](const QStringList& arguments) {
        QProcess openssl;
        openssl.setWorkingDirectory(dir);
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start("openssl", arguments);
        return openssl.waitForFinished(10000) && openssl.exitCode() == 0;
    };
    return run(QStringList{"req", "-x509"} + key +
               QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "1", "-subj",
                           "/CN=test CA"}) &&
           run(QStringList{"req"} + key +
               QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                           "/CN=127.0.0.1"}) &&
           run({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "server.pem", "-days", "1", "-extfile", "ext"});
}

} // namespace

Broker::Broker(bool tls) : m_port(freePort()), m_tls(tls) {
    QString text =
        QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n%2")
            .arg(m_port)
            .arg(::geteuid() == 0 ? QStringLiteral("user root\n") : QString());
    if (tls && makeCertificates(m_dir.path()))
        text += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                    .arg(caFile(), m_dir.filePath("server.pem"), m_dir.filePath("server.key"));
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (config.open(QIODevice::WriteOnly))
        config.write(text.toUtf8());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

QStringList Broker::clientArguments() const {
    QStringList arguments{"-h", "127.0.0.1", "-p", QString::number(m_port)};
    if (m_tls)
        arguments << "--cafile" << caFile();
    return arguments;
}

Broker::~Broker() {
    kill();
}

bool Broker::start() {
    m_process.start("mosquitto", {"-c", m_dir.filePath("mosquitto.conf")});
    // Ready once a client gets through: a real connect, retried while the broker starts.
    return m_process.waitForStarted(5000) &&
           QTest::qWaitFor([this] { return publish("test/ready", "1"); }, 10000);
}

void Broker::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool Broker::publish(const QString& topic, const QByteArray& payload, bool retain) const {
    QStringList arguments = clientArguments();
    arguments << "-t" << topic << "-m" << QString::fromUtf8(payload);
    if (retain)
        arguments << "-r";
    QProcess pub;
    pub.setStandardErrorFile(QProcess::nullDevice());
    pub.start(QStringLiteral("mosquitto_pub"), arguments);
    return pub.waitForFinished(5000) && pub.exitStatus() == QProcess::NormalExit &&
           pub.exitCode() == 0;
}

Subscriber::Subscriber(const Broker& broker, const QStringList& filters) {
    QStringList arguments = broker.clientArguments();
    arguments << "-v";
    for (const QString& filter : filters)
        arguments << "-t" << filter;
    m_process.start("mosquitto_sub", arguments);
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
    return QTest::qWaitFor([&] { return count(line) > after; }, timeoutMs);
}
