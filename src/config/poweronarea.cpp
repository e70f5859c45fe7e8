#include "poweronarea.h"

#include "window/vesk.h"

namespace vesk {

PowerOnArea::PowerOnArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
