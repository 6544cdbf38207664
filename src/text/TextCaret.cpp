#include "TextCaret.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <QTimerEvent>
#include <QWidget>

TextCaret::TextCaret(QWidget *surface)
    : m_surface(surface)
{
}

void TextCaret::moveTo(const QRect &rect)
{
    repaint();
    m_rect = rect;
    repaint();
}

void TextCaret::restart(bool focused)
{
    m_shown = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (focused && flash >= 2)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
}

void TextCaret::hide()
{
    m_blink.stop();
    m_shown = false;
    repaint();
}

void TextCaret::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_blink.timerId())
        return QObject::timerEvent(event);
    m_shown = !m_shown;
    repaint();
}

void TextCaret::repaint()
{
    // A little wider: an italic caret's slant, and antialiasing.
    if (!m_rect.isNull())
        m_surface->update(m_rect.adjusted(-2, 0, 2, 0));
}
