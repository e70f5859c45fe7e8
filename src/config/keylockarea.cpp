#include "keylockarea.h"

#include "window/vesk.h"

namespace vesk {

KeyLockArea::KeyLockArea(VESK& window) : QObject(&window), m_window(window) {}

} // namespace vesk
