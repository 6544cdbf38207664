#include "ClipText.h"

#include "files/ReadWithProgress.h"
#include "system/SystemServices.h"
#include "system/WaitCursor.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"
#include "text/TextBoundaries.h"

#include <QGuiApplication>

#include <optional>

namespace {

// Loads above this size show the wait cursor while the text is taken in.
constexpr qsizetype LargeText = 1 << 20;

} // namespace

ClipText::ClipText(QWidget *parent)
    : TextView(parent)
{
    setObjectName(QStringLiteral("ClipText"));
    setFont(Fonts::courierNewBold());
    setMaxLength(MaxCharacters);
    setColors(QColor(255, 255, 0), QColor(0, 0, 0));
    setWaitForWholeText(&ReadWithProgress::waitUntilRead);
}

QString ClipText::Text() const
{
    return toPlainText();
}

bool ClipText::setText(const QString &text)
{
    std::optional<WaitCursor> waiting;
    if (text.size() > LargeText)
        waiting.emplace();
    return setPlainText(text);
}

void ClipText::setText(TextStore &&store)
{
    setStore(std::move(store));
}

void ClipText::setSelStart(int position)
{
    setPosition(qBound(0, position, length()));
}

void ClipText::setSelLength(int count)
{
    const int start = selectionStart();
    setSelection(start, qBound(start, start + qMax(0, count), length()));
}

double ClipText::Width() const
{
    return Twips::fromPixels(width());
}

void ClipText::setWidth(double twips)
{
    resize(Twips::toPixels(twips), height());
}

double ClipText::Height() const
{
    return Twips::fromPixels(height());
}

void ClipText::setHeight(double twips)
{
    resize(width(), Twips::toPixels(twips));
}

int ClipText::Find(const QString &text, int start, FindOptions options)
{
    const int total = length();
    const int n = int(text.size());
    if (n == 0 || start < 0 || start > total)
        return -1;
    const Qt::CaseSensitivity cs = options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const TextStore &store = document().store();
    for (int from = start;;) {
        const int position = store.find(text, from, cs);
        if (position < 0)
            return -1;
        if (!options.wholeWord || isWholeWordAt(position, n)) {
            setSelection(position, position + n);
            ensureCursorVisible();
            return position;
        }
        from = position + 1;
    }
}

bool ClipText::isWholeWordAt(int position, int n) const
{
    // Where the engine's word rule, as Ctrl+Left and Right follow it, lets
    // words begin and end: "cat" is not a word in "cat_x" or "don't".
    const TextStore &store = document().store();
    return TextBoundaries::isWordBoundary(store, position) && TextBoundaries::isWordBoundary(store, position + n);
}

void ClipText::setClipboardCommands(std::function<bool()> copySelection, std::function<void()> paste)
{
    m_copyCommand = std::move(copySelection);
    m_pasteCommand = std::move(paste);
}

bool ClipText::copyToClipboard()
{
    return m_copyCommand ? m_copyCommand() : TextView::copyToClipboard();
}

void ClipText::paste()
{
    if (m_pasteCommand)
        m_pasteCommand();
    else
        TextView::paste();
}

bool ClipText::primarySelectionText(QString *text)
{
    QString error;
    return sys::services().clipboard->readSelectionText(text, &error);
}
