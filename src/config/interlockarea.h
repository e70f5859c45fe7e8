#pragma once

#include <QObject>

namespace vesk {

class VESK;

class InterlockArea : public QObject {
    Q_OBJECT
public:
    explicit InterlockArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
