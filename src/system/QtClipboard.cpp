#include "QtClipboard.h"

#include "ClipboardReader.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Clipboard", text);
}

QClipboard *systemClipboard(QString *error)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard && error)
        *error = tr("The clipboard is not available.");
    return clipboard;
}

QString noFocusMessage()
{
    return tr("The clipboard's text could not be taken: on this desktop only the window with the keyboard focus may "
              "read the clipboard, and the note did not get the focus in time.");
}

// The text of a selection from reader; while this program holds the text
// itself, Qt's clipboard hands back its own. False, with the reason, where
// the text could not be taken, or the user cancelled (then with no reason).
bool readFrom(ClipboardReader *reader, QClipboard::Mode mode, QString *text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard || !reader)
        return false;
    if (mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection()) {
        *text = clipboard->text(mode);
        return true;
    }
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    switch (reader->read(text)) {
    case Outcome::Text:
    case Outcome::NoText:
        return true;
    case Outcome::NoAnswer:
    case Outcome::Unavailable:
        return fail(tr("The program holding the clipboard did not answer, so its text could not be taken."));
    case Outcome::NotText:
        return fail(tr("The program holding the clipboard answered with something other than text, so nothing was "
                       "taken."));
    case Outcome::TooLarge:
        return fail(tr("The clipboard's text is too large to take: it would need more than a quarter of the memory "
                       "available."));
    case Outcome::NotFocused:
        return fail(noFocusMessage());
    case Outcome::Cancelled:
        break;
    }
    return fail(QString()); // the user's own choice: nothing to say
}

} // namespace

QtClipboard::QtClipboard() = default;
QtClipboard::~QtClipboard() = default;

ClipboardReader &QtClipboard::reader()
{
    if (!m_reader)
        m_reader = ClipboardReader::choose();
    return *m_reader;
}

void QtClipboard::prepare()
{
    reader();
}

bool QtClipboard::readsOnlyOnceShown()
{
    return reader().readsOnlyOnceShown();
}

bool QtClipboard::waitUntilReadable(QWidget *window, QString *error)
{
    if (!window || !systemClipboard(error))
        return !!window;
    if (reader().waitUntilReadable(window))
        return true;
    if (error)
        *error = noFocusMessage();
    return false;
}

bool QtClipboard::readText(QString *text, QString *error)
{
    return readFrom(&reader(), QClipboard::Clipboard, text, error);
}

bool QtClipboard::readSelectionText(QString *text, QString *error)
{
    if (!m_primaryChosen) {
        m_primary = ClipboardReader::choosePrimary();
        m_primaryChosen = true;
    }
    return m_primary && readFrom(m_primary.get(), QClipboard::Selection, text, error);
}

bool QtClipboard::setText(const QString &text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->setText(text, QClipboard::Clipboard);
    // QClipboard reports nothing itself. While we own the clipboard it hands
    // back our own data, so reading it back tells whether the text got there.
    if (clipboard->text(QClipboard::Clipboard) != text) {
        if (error)
            *error = tr("Another program holds the clipboard; the text could not be put on it.");
        return false;
    }
    return true;
}

bool QtClipboard::clear(QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->clear(QClipboard::Clipboard);
    return true;
}

} // namespace sys
