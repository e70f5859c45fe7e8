#include "channelstatearea.h"

#include "window/vesk.h"

namespace vesk {

ChannelStateArea::ChannelStateArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
