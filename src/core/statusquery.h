// The status query: asks the controller for its channel states, on request, every two seconds
// while automatic querying is on, at start-up and after every switching operation.
#pragma once

#include <QObject>
#include <QTimer>

#include "core/task.h"

namespace vesk {

class DeviceLink;

class StatusQuery : public QObject {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 2000;

    explicit StatusQuery(DeviceLink& link, QObject* parent = nullptr);

    const QTimer& Timer2() const { return m_timer2; }
    QTimer& Timer2() { return m_timer2; }
    // Starts or stops the two-second polling.
    void setAutomatic(bool on);

    // Does nothing while the port is closed; otherwise writes the query twice, 100 ms apart.
    // Yields false when the program is closing.
    Task<bool> run();

private:
    DeviceLink& m_link;
    QTimer m_timer2;
};

} // namespace vesk
