// Turns SIGTERM and SIGINT into a Qt signal through a self-pipe, so the program can shut down
// cleanly from its event loop. One instance per process.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vesk::sim {

class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vesk::sim
