#include "seriesarea.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "areas/buildprofile.h"
#include "toolkit/toolkit.h"

namespace vesk {

namespace {
// "QX系列" is a few pixels wider than its place leaves beside the usual indicator gap.
constexpr int CaptionSpacing = 2;
} // namespace

SeriesArea::SeriesArea(const AreaContext& ctx, QWidget* frame2) : QObject(ctx.window), m_ctx(ctx) {
    m_option1[QX] = new QRadioButton(tr("QX系列"), frame2);
    toolkit::placeTwips(m_option1[QX], 120, 240, 855, 375);
    toolkit::makeRoomForCaption(m_option1[QX], CaptionSpacing);
    m_option1[Series5200] = new QRadioButton(tr("5200系列"), m_ctx.window);
    toolkit::placeTwips(m_option1[Series5200], 1080, 1200, 1095, 375);

    // The two options live in different containers, so they would not exclude each other by
    // themselves. The group clears the other option when one is selected (its toggled(false)
    // runs no handler) and, as with option buttons in one container, keeps a selected option
    // selected when it is clicked again.
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(m_option1[QX], QX);
    group->addButton(m_option1[Series5200], Series5200);

    // The window is created with the QX series selected; start-up then selects the 5200 series.
    m_option1[QX]->setChecked(true);
    for (int i = 0; i < 2; ++i) {
        m_option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        connect(m_option1[i], &QRadioButton::toggled, this, [this, i](bool selected) {
            if (selected)
                selectSeries(i);
        });
    }
}

void SeriesArea::selectAtStartUp() {
    if (m_option1[Series5200]->isChecked())
        selectSeries(Series5200);
    else
        m_option1[Series5200]->setChecked(true);
}

void SeriesArea::selectSeries(int index) {
    // The other option has been cleared by the group already (running no handler): at most one
    // series is ever selected.
    emit seriesChosen(index == QX);
}

} // namespace vesk
