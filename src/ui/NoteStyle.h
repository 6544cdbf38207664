#pragma once
// The application's style, but for one icon. The menu bar makes a button for
// menus that do not fit, and the style reads its icon from image files; the
// first image read loads every image plug-in, a good part of the note's
// start-up. The button gets a drawn icon instead.

#include <QProxyStyle>

class NoteStyle : public QProxyStyle
{
public:
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

    // Puts the note's style in place for the application, once.
    static void install();
};
