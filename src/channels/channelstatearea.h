#pragma once

#include <QObject>

namespace vesk {

class VESK;

class ChannelStateArea : public QObject {
    Q_OBJECT
public:
    explicit ChannelStateArea(VESK& window);

private:
    VESK& m_window;
};

} // namespace vesk
