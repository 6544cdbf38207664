#include "ProgramIcon.h"

#include <QImage>
#include <QPixmap>

#include "quillpad.xpm"

QIcon programIcon()
{
    return QIcon(QPixmap::fromImage(QImage(quillpad_xpm)));
}
