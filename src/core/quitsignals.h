// SIGTERM, SIGINT and SIGHUP delivered as a Qt signal from the event loop, so that a program ends
// the way it does when its window is closed (port closed, lock file removed) rather than dying
// with its lock left behind. A self-pipe written by the signal handler wakes a QSocketNotifier.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vesk {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for the life of this object (one instance per process).
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesk
