#pragma once

#include <QObject>

namespace vesk {

class VESK;

class SeriesArea : public QObject {
    Q_OBJECT
public:
    explicit SeriesArea(VESK& window);

    // Start-up selects the 5200 series, which runs its handler.
    void selectAtStartUp();

private:
    VESK& m_window;
};

} // namespace vesk
