#pragma once

#include <QObject>

namespace vesk {

class VESK;

class KeyLockArea : public QObject {
    Q_OBJECT
public:
    explicit KeyLockArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
