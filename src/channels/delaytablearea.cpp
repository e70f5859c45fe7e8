#include "delaytablearea.h"

#include "window/vesk.h"

namespace vesk {

DelayTableArea::DelayTableArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
