#pragma once
// The fonts the windows were designed with, with a fallback of the same size
// and weight where the family is not installed.

#include <QFont>

namespace Fonts {

// family at pointSize; where it is missing, the system's fixed or general
// font family (as styleHint says) takes its place.
QFont designFont(const QString &family, double pointSize, bool bold, QFont::StyleHint styleHint);

QFont courierNewBold();          // Courier New 8.25 pt bold
QFont sansSerifBold(double pointSize = 8.25); // MS Sans Serif, bold

} // namespace Fonts
