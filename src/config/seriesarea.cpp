#include "seriesarea.h"

#include "window/vesk.h"

namespace vesk {

SeriesArea::SeriesArea(VESK& window) : QObject(&window), m_window(window) {}

void SeriesArea::selectAtStartUp() {}

} // namespace vesk
