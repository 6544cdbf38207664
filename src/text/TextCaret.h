#pragma once
// The caret as painted: the rectangle it was last drawn in, and whether it
// shows in this half of its blink. Moving and blinking paint only its own
// rectangle again, so a view at rest repaints nothing else.

#include <QBasicTimer>
#include <QObject>
#include <QRect>

class QWidget;

class TextCaret : public QObject
{
public:
    // surface: the widget it is painted on.
    explicit TextCaret(QWidget *surface);

    bool isShown() const { return m_shown; }
    // Drawn at rect from now on (a null rect: nowhere on screen).
    void moveTo(const QRect &rect);
    // Shown at once, then blinking at the desktop's rate where focused.
    void restart(bool focused);
    // Hidden, not blinking, until restarted.
    void hide();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void repaint();

    QWidget *m_surface;
    QBasicTimer m_blink;
    bool m_shown = true;
    QRect m_rect;
};
