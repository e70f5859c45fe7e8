#pragma once

#include <QObject>

namespace vesk {

class VESK;

class DelayTableArea : public QObject {
    Q_OBJECT
public:
    explicit DelayTableArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
