#include "Composition.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QMetaObject>

void Composition::show(int position, const QString &text, int cursor, const QList<QTextLayout::FormatRange> &formats)
{
    const int was = this->position();
    if (was < 0 && text.isEmpty())
        return;
    m_position = position;
    m_text = position < 0 ? QString() : text;
    m_cursor = qBound(0, cursor, int(m_text.size()));
    m_formats = formats;
    if (m_formats.isEmpty() && !m_text.isEmpty()) {
        QTextCharFormat underline;
        underline.setFontUnderline(true);
        m_formats.append({0, int(m_text.size()), underline});
    }
    if (m_changed)
        m_changed(was, this->position());
}

void Composition::handOver()
{
    if (isActive())
        QGuiApplication::inputMethod()->commit();
}

void Composition::finish()
{
    handOver();
    if (isActive()) {
        end();
        QGuiApplication::inputMethod()->reset();
    }
}

void Composition::moveTo(int position)
{
    if (isActive() && position != m_position)
        show(position, m_text, m_cursor, m_formats);
}

void Composition::dropForChange(QObject *context, std::function<bool()> hasFocus)
{
    if (!isActive())
        return;
    end();
    QMetaObject::invokeMethod(context, [hasFocus = std::move(hasFocus)] {
        if (hasFocus())
            QGuiApplication::inputMethod()->reset();
    }, Qt::QueuedConnection);
}
