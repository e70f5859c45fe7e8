#include "seriesarea.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "channels/channelstatearea.h"
#include "config/interlockarea.h"
#include "window/statusquery.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

namespace {
// "QX系列" is a few pixels wider than its place leaves beside the usual indicator gap.
constexpr int CaptionSpacing = 2;
} // namespace

SeriesArea::SeriesArea(VESK& window) : QObject(&window), m_window(window) {
    m_option1[QX] = new QRadioButton(QStringLiteral("QX系列"), window.frame2());
    toolkit::placeTwips(m_option1[QX], 120, 240, 855, 375);
    toolkit::makeRoomForCaption(m_option1[QX], CaptionSpacing);
    m_option1[Series5200] = new QRadioButton(QStringLiteral("5200系列"), &window);
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
    const bool qx = index == QX;

    // The other option has been cleared by the group already (running no handler): at most one
    // series is ever selected.
    InterlockArea& interlock = m_window.interlock();
    for (int k = 0; k < 8; ++k)
        interlock.S1(k)->setVisible(qx);
    for (int k = 0; k < 4; ++k)
        interlock.Fusuo(k)->setVisible(!qx);

    if (QPushButton* command5 = m_window.channelState().Command5())
        command5->setEnabled(qx);
    m_window.Frame6()->setVisible(!qx);
    m_window.statusQuery().TestButton()->setVisible(!qx);
    m_window.statusQuery().Checktest()->setVisible(!qx);
}

} // namespace vesk
