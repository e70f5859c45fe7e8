#include "timedallarea.h"

#include "window/vesk.h"

namespace vesk {

TimedAllArea::TimedAllArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
