// Reads the simulator's console commands from a file descriptor (stdin), one per line.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace vesk::sim {

class ControlConsole : public QObject {
    Q_OBJECT

public:
    explicit ControlConsole(int fd, QObject* parent = nullptr);

signals:
    void command(const QString& line);
    void endOfInput();

private:
    void readAvailable();

    int m_fd;
    QByteArray m_pending; // a line not yet ended by a newline
    QSocketNotifier* m_notifier;
};

} // namespace vesk::sim
