#include "TextViewAccessible.h"

#include "TextBoundaries.h"
#include "TextView.h"

#include <QScrollBar>
#include <QTextBoundaryFinder>

namespace {

QAccessibleInterface *textViewFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<TextView *>(object))
        return new TextViewAccessible(view);
    return nullptr;
}

} // namespace

void TextViewAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(textViewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void TextViewAccessible::caretMoved(TextView *view)
{
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(view, view->position());
        QAccessible::updateAccessibility(&event);
    }
}

void TextViewAccessible::selectionChanged(TextView *view)
{
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent event(view, view->selectionStart(), view->selectionEnd());
        QAccessible::updateAccessibility(&event);
    }
}

void TextViewAccessible::textRemoved(TextView *view, int position, int count)
{
    if (QAccessible::isActive() && count > 0) {
        QAccessibleTextRemoveEvent event(view, position, view->document().text(position, count));
        QAccessible::updateAccessibility(&event);
    }
}

void TextViewAccessible::textInserted(TextView *view, int position, int count)
{
    if (QAccessible::isActive() && count > 0) {
        QAccessibleTextInsertEvent event(view, position, view->document().text(position, count));
        QAccessible::updateAccessibility(&event);
    }
}

TextViewAccessible::TextViewAccessible(TextView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
}

TextView *TextViewAccessible::view() const
{
    return static_cast<TextView *>(widget());
}

void *TextViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TextViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    state.focusable = true;
    return state;
}

QString TextViewAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return view()->toPlainText();
    return QAccessibleWidget::text(type);
}

void TextViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex == 0 && view()->hasSelection()) {
        *startOffset = view()->selectionStart();
        *endOffset = view()->selectionEnd();
    }
}

int TextViewAccessible::selectionCount() const
{
    return view()->hasSelection() ? 1 : 0;
}

void TextViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TextViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setPosition(view()->position());
}

void TextViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->setSelection(startOffset, endOffset);
}

int TextViewAccessible::cursorPosition() const
{
    return view()->position();
}

void TextViewAccessible::setCursorPosition(int position)
{
    view()->setPosition(position);
}

QString TextViewAccessible::text(int startOffset, int endOffset) const
{
    const int length = view()->length();
    if (endOffset < 0 || endOffset > length)
        endOffset = length;
    startOffset = qBound(0, startOffset, endOffset);
    return view()->document().text(startOffset, endOffset - startOffset);
}

std::pair<int, int> TextViewAccessible::unitAt(int offset, QAccessible::TextBoundaryType type) const
{
    TextView *v = view();
    const TextStore &store = v->document().store();
    const int length = v->length();
    offset = qBound(0, offset, length);
    switch (type) {
    case QAccessible::CharBoundary:
        return {offset, TextBoundaries::nextCharacter(store, offset)};
    case QAccessible::WordBoundary:
        return TextBoundaries::wordAt(store, offset);
    case QAccessible::SentenceBoundary: {
        const auto [lineStart, lineEnd] = TextBoundaries::lineAt(store, offset);
        QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence,
                                      v->document().text(lineStart, lineEnd - lineStart));
        sentences.setPosition(offset - lineStart);
        const qsizetype start = sentences.isAtBoundary() ? sentences.position() : sentences.toPreviousBoundary();
        const qsizetype end = sentences.toNextBoundary();
        return {lineStart + int(qMax<qsizetype>(0, start)),
                end < 0 ? lineEnd : lineStart + int(end)};
    }
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary:
        return TextBoundaries::lineAt(store, offset);
    case QAccessible::NoBoundary:
        break;
    }
    return {0, length};
}

QString TextViewAccessible::textOf(std::pair<int, int> unit, int *startOffset, int *endOffset) const
{
    *startOffset = unit.first;
    *endOffset = unit.second;
    return view()->document().text(unit.first, unit.second - unit.first);
}

QString TextViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int *startOffset, int *endOffset) const
{
    return textOf(unitAt(offset, boundaryType), startOffset, endOffset);
}

QString TextViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int *startOffset, int *endOffset) const
{
    const std::pair<int, int> at = unitAt(offset, boundaryType);
    if (at.first <= 0) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return textOf(unitAt(at.first - 1, boundaryType), startOffset, endOffset);
}

QString TextViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    const std::pair<int, int> at = unitAt(offset, boundaryType);
    if (at.second >= view()->length()) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return textOf(unitAt(at.second, boundaryType), startOffset, endOffset);
}

int TextViewAccessible::characterCount() const
{
    return view()->length();
}

QRect TextViewAccessible::characterRect(int offset) const
{
    const QRect rect = view()->characterRect(offset);
    if (rect.isNull())
        return QRect();
    return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int TextViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local))
        return -1;
    return view()->positionAt(local);
}

void TextViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    Q_UNUSED(endIndex);
    const int keep = view()->position();
    const int anchor = view()->anchor();
    view()->setPosition(startIndex);
    view()->ensureCursorVisible();
    view()->setSelection(anchor, keep);
}

QString TextViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One look throughout but for the colours, which are the view's.
    *startOffset = qBound(0, offset, view()->length());
    *endOffset = qMin(view()->length(), *startOffset + 1);
    const QColor color = view()->colorAt(*startOffset);
    const QColor back = view()->backgroundColor();
    return QStringLiteral("fg-color:%1,%2,%3;bg-color:%4,%5,%6;")
        .arg(color.red()).arg(color.green()).arg(color.blue())
        .arg(back.red()).arg(back.green()).arg(back.blue());
}

void TextViewAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void TextViewAccessible::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void TextViewAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    view()->setSelection(startOffset, endOffset);
    view()->insertText(text);
}
