#include "multichannelarea.h"

#include <QGroupBox>

#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {

namespace {

class MultiChannelArea : public QObject, public MultiChannelHooks {
public:
    explicit MultiChannelArea(VESK& window) : QObject(&window) {
        auto* frame = new QGroupBox(QStringLiteral("多端口操作区"), &window);
        frame->setObjectName(QStringLiteral("Frame7"));
        toolkit::placeTwips(frame, 6360, 6000, 2415, 2775);
    }
    void fillUnits() override {}
    void tickState(int) override {}
};

} // namespace

MultiChannelHooks* createMultiChannelArea(VESK& window) {
    return new MultiChannelArea(window);
}

} // namespace vesk
