#include "interlockarea.h"

#include "window/vesk.h"

namespace vesk {

InterlockArea::InterlockArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
