#pragma once

#include <QObject>

namespace vesk {

class VESK;

class TimedAllArea : public QObject {
    Q_OBJECT
public:
    explicit TimedAllArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
