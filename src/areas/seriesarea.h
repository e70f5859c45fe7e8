// Model series selection: "QX系列" or "5200系列". The choice only shows, hides, enables or disables
// the controls that one series has; nothing is sent and no other operation reads it.
#pragma once

#include <QObject>

#include <array>

class QRadioButton;

#include "areas/context.h"

namespace vesk {

class SeriesArea : public QObject {
    Q_OBJECT
public:
    // Option1 indices.
    static constexpr int QX = 0;
    static constexpr int Series5200 = 1;

    SeriesArea(const AreaContext& ctx, QWidget* frame2);

    // Start-up selects the 5200 series, which runs its handler.
    void selectAtStartUp();

    // Handler of Option1(index) being selected: tells the areas which series is chosen.
    void selectSeries(int index);

signals:
    // The other areas show or hide their own controls for the series.
    void seriesChosen(bool qx);

private:
    AreaContext m_ctx;
    std::array<QRadioButton*, 2> m_option1{};
};

} // namespace vesk
