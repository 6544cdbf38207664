#pragma once
// A window "without an icon": an empty QIcon would only fall back to the
// application's icon, so the window gets a fully transparent one instead.

#include <QIcon>
#include <QPixmap>

inline QIcon noIcon()
{
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}
