#include "NoteStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

QIcon NoteStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                              const QWidget *widget) const
{
    if (standardIcon != SP_ToolBarHorizontalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // Two chevrons pointing right, in the text colour of buttons.
    QPixmap chevrons(16, 16);
    chevrons.fill(Qt::transparent);
    QPainter painter(&chevrons);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QApplication::palette().color(QPalette::ButtonText), 1.5));
    for (const qreal x : {4.0, 9.0}) {
        QPainterPath chevron;
        chevron.moveTo(x, 4);
        chevron.lineTo(x + 3.5, 8);
        chevron.lineTo(x, 12);
        painter.drawPath(chevron);
    }
    return QIcon(chevrons);
}

void NoteStyle::install()
{
    if (!dynamic_cast<NoteStyle *>(QApplication::style()))
        QApplication::setStyle(new NoteStyle);
}
