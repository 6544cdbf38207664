#pragma once
// Window and control geometry is laid out in twips (1/1440 inch): 15 twips are
// one pixel at 96 dots per inch. The conversion follows the primary screen's
// logical DPI, so layouts scale with the desktop's text size.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace Twips {

double pixelsPerInch();
int toPixels(double twips);
double fromPixels(int pixels);
QSize toPixels(double widthTwips, double heightTwips);
QRect rect(double left, double top, double width, double height);

} // namespace Twips
