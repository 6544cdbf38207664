#include "Fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace Fonts {

QFont designFont(const QString &family, double pointSize, bool bold, QFont::StyleHint styleHint)
{
    // Picking an installed family here spares the font system its search for
    // a substitute, and loads nothing before the font is first drawn.
    const QStringList installed = QFontDatabase::families();
    const bool fixed = styleHint == QFont::Monospace || styleHint == QFont::TypeWriter;
    QString chosen = family;
    if (!installed.contains(family, Qt::CaseInsensitive)) {
        const QStringList likely = fixed
            ? QStringList{QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"),
                          QStringLiteral("Noto Sans Mono"), QStringLiteral("Nimbus Mono PS")}
            : QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                          QStringLiteral("Noto Sans"), QStringLiteral("Nimbus Sans")};
        chosen = QFontDatabase::systemFont(fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont).family();
        for (const QString &candidate : likely) {
            if (installed.contains(candidate, Qt::CaseInsensitive)) {
                chosen = candidate;
                break;
            }
        }
    }
    QFont font(chosen);
    font.setStyleHint(styleHint);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void fitText(QLabel *label)
{
    QFont font = label->font();
    const QRect room = label->contentsRect();
    // A label that does not wrap keeps to the lines its text has.
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    constexpr qreal Smallest = 4;
    for (;;) {
        const QRect need = QFontMetrics(font).boundingRect(room, flags, label->text());
        if ((need.width() <= room.width() && need.height() <= room.height()) || font.pointSizeF() <= Smallest)
            break;
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    if (font != label->font())
        label->setFont(font);
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
