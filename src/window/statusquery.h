// The status query: asks the controller for its channel states, by the button, every two seconds
// while automatic querying is ticked, at start-up and after every switching operation.
#pragma once

#include <QObject>
#include <QTimer>

#include "link/task.h"

class QCheckBox;
class QPushButton;

namespace vesk {

class VESK;

class StatusQuery : public QObject {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 2000;

    explicit StatusQuery(VESK& window);

    QPushButton* TestButton() const { return m_testButton; }
    QCheckBox* Checktest() const { return m_checktest; }
    const QTimer& Timer2() const { return m_timer2; }
    QTimer& Timer2() { return m_timer2; }

    // Does nothing while the port is closed; otherwise writes the query twice, 100 ms apart.
    // Yields false when the program is shutting down.
    Task<bool> run();

private:
    void automaticQueryClicked(bool ticked);

    VESK& m_window;
    QPushButton* m_testButton = nullptr;
    QCheckBox* m_checktest = nullptr;
    QTimer m_timer2;
};

} // namespace vesk
