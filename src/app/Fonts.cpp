#include "Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace Fonts {

QFont designFont(const QString &family, double pointSize, bool bold, QFont::StyleHint styleHint)
{
    QFont font(family);
    font.setStyleHint(styleHint);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0)
        return font;

    const QFont system = QFontDatabase::systemFont(
        styleHint == QFont::Monospace || styleHint == QFont::TypeWriter
            ? QFontDatabase::FixedFont
            : QFontDatabase::GeneralFont);
    QFont fallback(system.family());
    fallback.setStyleHint(styleHint);
    fallback.setPointSizeF(pointSize);
    fallback.setBold(bold);
    return fallback;
}

QFont courierNewBold()
{
    return designFont(QStringLiteral("Courier New"), 8.25, true, QFont::Monospace);
}

QFont sansSerifBold(double pointSize)
{
    return designFont(QStringLiteral("MS Sans Serif"), pointSize, true, QFont::SansSerif);
}

} // namespace Fonts
