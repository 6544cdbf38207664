#pragma once
// What an input method is composing: text shown at a place in the text but
// not yet part of it, the caret's place inside it, and the input method's own
// look for it. The view is its one owner: it hands it the input method's
// events and ends it where other editors do, on a click, when the focus
// goes and when the text changes by other means. The layouts show it where
// it stands.

#include <QList>
#include <QString>
#include <QTextLayout>

#include <functional>

class QObject;

class Composition
{
public:
    bool isActive() const { return !m_text.isEmpty(); }
    // Where it stands in the text; -1 while there is none.
    int position() const { return isActive() ? m_position : -1; }
    const QString &text() const { return m_text; }
    // The caret's place within the text composed.
    int cursor() const { return m_cursor; }
    const QList<QTextLayout::FormatRange> &formats() const { return m_formats; }

    // Shows text at position, in the input method's look (underlined where
    // it gives none); an empty text ends the composition.
    void show(int position, const QString &text, int cursor, const QList<QTextLayout::FormatRange> &formats);
    void end() { show(-1, QString(), 0, {}); }

    // As a click ends it: the input method is asked to hand over what it
    // composed (to go in where it stood, as typed). One that does not do so
    // on request (fcitx5) keeps composing: the composition then follows the
    // caret (moveTo), and what is chosen lands there, as in Qt's own editors.
    void handOver();
    // As the focus going ends it: handed over, or else dropped, and the input
    // method told to start afresh (which may hand over what it had, raw).
    void finish();
    // Shows it at position, where the caret went while it went on.
    void moveTo(int position);
    // The text changes by other means: it goes before the change, and the
    // input method, which still holds it, is told to start afresh once the
    // change is through (if its owner, context, still has the focus).
    void dropForChange(QObject *context, std::function<bool()> hasFocus);

    // Told where it stood and where it stands now (-1: nowhere) each time it
    // changes, so that what showed it is laid out and painted anew.
    void onChange(std::function<void(int was, int now)> changed) { m_changed = std::move(changed); }

private:
    int m_position = 0;
    QString m_text;
    int m_cursor = 0;
    QList<QTextLayout::FormatRange> m_formats;
    std::function<void(int, int)> m_changed;
};
