#pragma once
// The fonts the windows were designed with, with a fallback of the same size
// and weight where the family is not installed.

#include <QFont>

class QLabel;

namespace Fonts {

// family at pointSize; where it is missing, the system's fixed or general
// font family (as styleHint says) takes its place.
QFont designFont(const QString &family, double pointSize, bool bold, QFont::StyleHint styleHint);

// Where a stand-in font is wider than the design font, the label's text would
// no longer fit the rectangle it was laid out in: its point size goes down,
// a quarter point at a time, until it does (on the lines its text has,
// unless the label wraps). The rectangle stays as laid out.
void fitText(QLabel *label);

QFont courierNewBold();          // Courier New 8.25 pt bold
QFont sansSerifBold(double pointSize = 8.25); // MS Sans Serif, bold

} // namespace Fonts
