#include "ui/DPI.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

int CDPI::GetMainMonitorDPI()
{
    // Qt already scales for the screen's device pixel ratio; what is left is
    // the logical DPI the desktop asks for (96 on most setups).
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 96;
    const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
    return dpi >= 48 && dpi <= 480 ? dpi : 96;
}
