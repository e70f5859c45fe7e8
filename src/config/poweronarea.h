#pragma once

#include <QObject>

namespace vesk {

class VESK;

class PowerOnArea : public QObject {
    Q_OBJECT
public:
    explicit PowerOnArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
