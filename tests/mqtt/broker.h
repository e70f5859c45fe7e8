// A real mosquitto broker for tests, on a free loopback port, and the command-line clients that
// talk to it.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class Broker {
public:
    // With `tls`, the listener takes TLS only, with a certificate from a CA made for the test.
    explicit Broker(bool tls = false);
    ~Broker();
    int port() const { return m_port; }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    // How the command-line clients reach this broker.
    QStringList clientArguments() const;
    // Starts mosquitto and waits until a client can connect; false when it never could.
    bool start();
    void kill();

    // mosquitto_pub of one message; true when it was delivered to the broker.
    bool publish(const QString& topic, const QByteArray& payload, bool retain = false) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
};

// mosquitto_sub -v on some topic filters: every message as "topic payload".
class Subscriber {
public:
    Subscriber(const Broker& broker, const QStringList& filters);
    ~Subscriber();
    QStringList lines();
    // Waits until `line` has been received (again, when `after` earlier copies are skipped).
    bool waitFor(const QString& line, int timeoutMs, int after = 0);
    int count(const QString& line);

private:
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
};

// A free TCP port on 127.0.0.1 at the time of the call; whether something accepts on one.
int freePort();
bool accepts(int port);
