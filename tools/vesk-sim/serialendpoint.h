// The simulator's end of the serial line: the master side of a pseudo-terminal, or an existing
// tty. Reads are driven by a socket notifier; writes never block.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace vesk::sim {

class SerialEndpoint : public QObject {
    Q_OBJECT

public:
    explicit SerialEndpoint(QObject* parent = nullptr);
    ~SerialEndpoint() override;

    // Opens a raw pseudo-terminal; path() is then its slave, the name clients open.
    bool openPty(QString* error);
    // Opens an existing tty (or other character device) at 9600 8N1, raw.
    bool openDevice(const QString& path, QString* error);
    // Symlink linkPath -> path(); replaces an old symlink, never any other file. Removed again when
    // the endpoint is destroyed, if it still points to our terminal.
    bool createLink(const QString& linkPath, QString* error);

    QString path() const { return m_path; }
    bool isOpen() const { return m_fd >= 0; }

    // Writes what the line takes now: the number of bytes written, 0 when it is full, -1 when
    // the line is closed or broken.
    qint64 write(QByteArrayView bytes);

    // Closes the line as an unplugged adapter would; the clients see a hang-up. The link stays.
    void hangup();

signals:
    void received(const QByteArray& bytes);
    // The line failed (read error or end of file) and has been closed.
    void lost(const QString& reason);

private:
    void readAvailable();
    void closeLine();
    void removeLink();
    void watch();

    int m_fd = -1;
    int m_keepAliveFd = -1; // our own slave fd, so reads do not fail while no client has it open
    QString m_path;
    QString m_linkPath;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesk::sim
