#include "buildprofile.h"

#include <QCoreApplication>

namespace vesk {

BuildProfile BuildProfile::full(MultiAreaFactory multiArea) {
    BuildProfile p;
    p.classic = false;
    p.program = QStringLiteral("veskpanel");
    p.caption = QString::fromUtf8(
        QT_TRANSLATE_NOOP("vesk::BuildProfile", "VESK系列电源控制器V3.0  Data：100715"));
    p.switchSettleMs = 500;
    p.echoPresetOne = true;
    p.multiArea = std::move(multiArea);
    return p;
}

BuildProfile BuildProfile::classicBuild() {
    BuildProfile p;
    p.classic = true;
    p.program = QStringLiteral("veskpanel-classic");
    p.caption = QString::fromUtf8(QT_TRANSLATE_NOOP(
        "vesk::BuildProfile", "VESK系列电源控制器V3.0   维斯克电源  Data：090717"));
    p.switchSettleMs = 1000;
    p.echoPresetOne = false;
    return p;
}

} // namespace vesk
