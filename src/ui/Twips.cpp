#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace Twips {

static constexpr double TwipsPerInch = 1440.0;

double pixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int toPixels(double twips)
{
    return int(std::lround(twips * pixelsPerInch() / TwipsPerInch));
}

double fromPixels(int pixels)
{
    return pixels * TwipsPerInch / pixelsPerInch();
}

QSize toPixels(double widthTwips, double heightTwips)
{
    return QSize(toPixels(widthTwips), toPixels(heightTwips));
}

QRect rect(double left, double top, double width, double height)
{
    return QRect(QPoint(toPixels(left), toPixels(top)), toPixels(width, height));
}

} // namespace Twips
