#include "TextView.h"

#include "SelectionMimeData.h"
#include "TextBoundaries.h"
#include "TextContextMenu.h"
#include "TextInputMethod.h"
#include "TextViewAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

TextView::TextView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_layouts(m_document)
    , m_painter(m_layouts)
    , m_viewport(m_layouts)
    , m_editor(m_document, m_layouts)
    , m_caret(viewport())
{
    TextViewAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Base);

    m_layouts.showComposition(&m_composition);
    m_composition.onChange([this](int was, int now) { compositionChanged(was, now); });
    m_editor.onCaretChanged([this](int oldStart, int oldEnd, bool moved) { caretChanged(oldStart, oldEnd, moved); });
    connect(&m_document, &TextDocument::aboutToChange, this, &TextView::documentAboutToChange);
    connect(&m_document, &TextDocument::changed, this, &TextView::documentChanged);
    connect(&m_document, &TextDocument::aboutToReset, this, &TextView::documentAboutToReset);
    connect(&m_document, &TextDocument::reset, this, &TextView::documentReset);
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, &TextView::updateScrollBar);
    relayout();
}

TextView::~TextView()
{
    m_composition.onChange(nullptr);
    m_editor.onCaretChanged(nullptr);
    if (m_primary)
        m_primary->freeze();
}

// ---- the text ------------------------------------------------------------------

bool TextView::setPlainText(QStringView text)
{
    // The new text is built whole before the old one goes.
    TextStore store;
    try {
        store.assign(text);
    } catch (const std::bad_alloc &) {
        return false;
    }
    m_document.setStore(std::move(store));
    return true;
}

void TextView::setStore(TextStore &&store)
{
    m_document.setStore(std::move(store));
}

void TextView::startReading(TextStore &&first)
{
    if (!m_document.isReading())
        m_placeBeforeReading = Place{anchor(), position(), topPosition()};
    m_document.beginRead(std::move(first));
}

void TextView::continueReading(TextStore &&piece)
{
    m_document.appendRead(std::move(piece));
}

void TextView::endReading(bool keep)
{
    const std::optional<Place> place = std::exchange(m_placeBeforeReading, std::nullopt);
    if (!m_document.isReading())
        return;
    m_document.endRead(keep);
    if (keep || !place)
        return;
    m_editor.setCaret(place->anchor, place->position);
    viewMoved(m_viewport.setTop(m_layouts.rowOf(place->top)));
}

QString TextView::toPlainText() const
{
    return m_document.text(0, length());
}

void TextView::setSelection(int anchor, int position)
{
    m_editor.select(anchor, position);
}

void TextView::selectAll()
{
    // All of it: what is still being read too.
    if (!waitForWholeText())
        return;
    m_editor.setCaret(0, length());
    publishPrimarySelection();
}

bool TextView::insertText(QStringView text)
{
    const bool done = m_editor.replaceSelection(text, TextDocument::EditKind::Other);
    if (done)
        ensureCursorVisible();
    return done;
}

void TextView::deleteSelection()
{
    m_editor.deleteSelection();
    ensureCursorVisible();
}

void TextView::undo()
{
    m_editor.undo();
    ensureCursorVisible();
}

void TextView::redo()
{
    m_editor.redo();
    ensureCursorVisible();
}

bool TextView::edited(bool done)
{
    if (done)
        ensureCursorVisible();
    else
        QApplication::beep();
    return done;
}

void TextView::run(const KeyCommand &key)
{
    switch (key.command) {
    case TextCommand::SelectAll: selectAll(); return;
    case TextCommand::Undo: undo(); return;
    case TextCommand::Redo: redo(); return;
    case TextCommand::Copy: copy(); return;
    case TextCommand::Cut: cut(); return;
    case TextCommand::Paste: paste(); return;
    case TextCommand::DeleteNextCharacter: m_editor.deleteForward(false); break;
    case TextCommand::DeletePreviousCharacter: m_editor.deleteBackward(false); break;
    case TextCommand::DeleteNextWord: m_editor.deleteForward(true); break;
    case TextCommand::DeletePreviousWord: m_editor.deleteBackward(true); break;
    case TextCommand::InsertLineBreak: edited(m_editor.replaceSelection(u"\n", TextDocument::EditKind::Typing)); return;
    case TextCommand::InsertTab: edited(m_editor.replaceSelection(u"\t", TextDocument::EditKind::Typing)); return;
    case TextCommand::InsertText: edited(m_editor.replaceSelection(key.text, TextDocument::EditKind::Typing)); return;
    default:
        scrollRows(m_editor.move(key.command, key.select, qMax(1, m_viewport.rows() - 1)));
        if (key.select)
            publishPrimarySelection();
        break;
    }
    ensureCursorVisible();
}

void TextView::caretChanged(int oldStart, int oldEnd, bool moved)
{
    if (oldStart != selectionStart() || oldEnd != selectionEnd())
        repaintSelectionChange(oldStart, oldEnd);
    m_caret.restart(hasFocus());
    updateCaret();
    if (moved) {
        emit cursorPositionChanged();
        TextViewAccessible::caretMoved(this);
    }
    tellInputMethodWhereTheCaretIs();
}

void TextView::repaintSelectionChange(int oldStart, int oldEnd)
{
    if (oldStart == oldEnd && !hasSelection())
        return; // the caret moved, nothing was or is selected
    // What was selected and what is now, all rows between.
    const int fromLine = m_document.store().lineOf(qMin(oldStart, selectionStart()));
    updateRows(fromLine, m_document.store().lineOf(qMax(oldEnd, selectionEnd())) != fromLine);
    emit selectionChanged();
    TextViewAccessible::selectionChanged(this);
}

// ---- following the document -------------------------------------------------------

void TextView::documentAboutToChange(const TextChange &change)
{
    // The primary selection keeps what was selected.
    if (m_primary)
        m_primary->freeze();
    m_composition.dropForChange(this, [this] { return hasFocus(); });
    TextViewAccessible::textRemoved(this, change.position, change.removed);
}

void TextView::documentChanged(const TextChange &change)
{
    const int rowsBefore = m_layouts.rowMap().rows(change.line);
    m_layouts.apply(change);
    m_colors.apply(change);
    m_viewport.follow(change);
    m_editor.follow(change);

    // Repaint the line that changed, and what follows when rows came or went.
    const bool sameRows = change.linesRemoved == 0 && change.linesInserted == 0
        && m_layouts.rowMap().rows(change.line) == rowsBefore;
    updateRows(change.line, !sameRows);
    viewMoved(m_viewport.clamp());

    // A text being read in is not typed: a screen reader is not told each piece.
    if (!m_document.isReading())
        TextViewAccessible::textInserted(this, change.position, change.inserted);
    emit textChanged();
}

void TextView::documentAboutToReset()
{
    if (m_primary)
        m_primary->freeze();
    m_composition.dropForChange(this, [this] { return hasFocus(); });
}

void TextView::documentReset()
{
    m_colors.clear();
    m_layouts.rebuild();
    m_viewport.reset();
    m_editor.reset();
    updateScrollBar();
    viewport()->update();
    updateCaret();
    // A whole new text: told as the caret at the start of it.
    TextViewAccessible::caretMoved(this);
    emit textChanged();
    emit cursorPositionChanged();
}

// ---- what an input method composes --------------------------------------------------

void TextView::compositionChanged(int was, int now)
{
    m_layouts.forget(was);
    m_layouts.forget(now);
    const int from = was < 0 ? now : now < 0 ? was : qMin(was, now);
    updateRows(m_document.store().lineOf(qMin(from, length())), true);
    updateCaret();
    tellInputMethodWhereTheCaretIs();
}

void TextView::setReservedShortcuts(const QList<QKeySequence> &shortcuts)
{
    m_reserved = shortcuts;
}

// ---- colours ----------------------------------------------------------------------

void TextView::setColors(const QColor &background, const QColor &text)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
}

void TextView::setTextColorOfAll(const QColor &color)
{
    m_colors.clear();
    setColors(backgroundColor(), color);
    viewport()->update();
}

void TextView::setSelectionColor(const QColor &color)
{
    if (!hasSelection())
        return;
    m_colors.set(selectionStart(), selectionEnd(), color);
    viewport()->update();
}

QColor TextView::colorAt(int position) const
{
    return m_colors.at(position).value_or(textColor());
}

// ---- place on screen ---------------------------------------------------------------

int TextView::topPosition()
{
    return m_viewport.topPosition();
}

void TextView::viewMoved(bool moved)
{
    if (moved)
        viewport()->update();
    updateScrollBar();
    updateCaret();
}

void TextView::scrollRows(int rows)
{
    viewMoved(m_viewport.scroll(rows));
}

void TextView::updateScrollBar()
{
    // Setting it is not a move of the user's.
    m_settingScrollBar = true;
    m_viewport.showOn(*verticalScrollBar());
    m_settingScrollBar = false;
}

void TextView::scrollContentsBy(int, int)
{
    if (m_settingScrollBar)
        return;
    if (m_viewport.followScrollBar(*verticalScrollBar())) {
        viewport()->update();
        updateCaret();
    }
    if (!verticalScrollBar()->isSliderDown())
        updateScrollBar();
}

void TextView::ensureCursorVisible()
{
    viewMoved(m_viewport.show(m_layouts.rowOf(position())));
}

void TextView::relayout()
{
    m_layouts.configure(font(), viewport()->width() - TextViewport::LeftMargin - TextViewport::RightMargin);
    m_viewport.setHeight(viewport()->height() - TextViewport::TopMargin);
    m_viewport.clamp();
    viewport()->update();
    viewMoved(false);
}

void TextView::updateRows(int fromLine, bool toBottom)
{
    viewport()->update(m_viewport.rowsRect(fromLine, toBottom, viewport()->size()));
}

// ---- the caret ---------------------------------------------------------------------

int TextView::caretWidth() const
{
    return qMax(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
}

QRect TextView::cursorRect()
{
    return m_viewport.caretRect(position(), m_composition.isActive() ? m_composition.cursor() : -1, caretWidth());
}

QRect TextView::characterRect(int position)
{
    return m_viewport.characterRect(position);
}

int TextView::positionAt(const QPoint &point)
{
    return m_viewport.positionAt(point);
}

void TextView::updateCaret()
{
    m_caret.moveTo(cursorRect());
}

// ---- painting ----------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), backgroundColor());
    const RowRef top = m_viewport.top();
    m_painter.paintRows(painter, top, QPointF(TextViewport::LeftMargin, TextViewport::TopMargin),
                        viewport()->height(), event->rect(), paintOptions());
    m_layouts.trim(top);
}

TextPaintOptions TextView::paintOptions() const
{
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    TextPaintOptions options;
    options.text = textColor();
    options.background = backgroundColor();
    options.colors = &m_colors;
    options.selectionStart = selectionStart();
    options.selectionEnd = selectionEnd();
    options.selectionBackground = palette().brush(group, QPalette::Highlight);
    options.selectionText = palette().brush(group, QPalette::HighlightedText);
    // The caret, or where a drop would go.
    if (m_dropPosition >= 0) {
        options.caret = m_dropPosition;
    } else if (hasFocus() && m_caret.isShown()) {
        options.caret = position();
        if (m_composition.isActive())
            options.compositionCursor = m_composition.cursor();
    }
    options.caretWidth = caretWidth();
    return options;
}

// ---- events ------------------------------------------------------------------------

bool TextView::keyIsReserved(const QKeyEvent *key) const
{
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    return m_reserved.contains(pressed);
}

bool TextView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (keyIsReserved(key)) {
            event->ignore(); // the window's shortcut takes it
            return true;
        }
        // The keys the view acts on are its own, whatever shortcuts exist elsewhere.
        if (commandForKey(*key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent *event)
{
    const std::optional<KeyCommand> command = keyIsReserved(event) ? std::nullopt : commandForKey(*event);
    if (!command) {
        event->ignore();
        return;
    }
    run(*command);
    event->accept();
}

void TextView::mousePressEvent(QMouseEvent *event)
{
    // The place clicked as it shows, composition and all; the input method
    // is then asked for what it composed, which goes in where it stood,
    // before that place. One that keeps composing goes on at the click.
    const QPoint point = event->position().toPoint();
    const int composing = m_composition.position();
    int at = positionAt(point);
    const int length = m_document.length();
    m_composition.handOver();
    if (composing >= 0 && at >= composing)
        at += m_document.length() - length;
    if (event->button() == Qt::MiddleButton) {
        // The X11 primary selection goes where the middle button is pressed.
        QString text;
        if (QGuiApplication::clipboard()->supportsSelection() && primarySelectionText(&text) && !text.isEmpty()) {
            m_editor.setCaret(at, at);
            if (!insertText(text))
                QApplication::beep();
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_document.closeUndoGroup();
    setCaret(m_mouse.press(m_document.store(), at, point, event->modifiers() & Qt::ShiftModifier, anchor()));
    m_composition.moveTo(position());
    m_lastMouse = point;
}

void TextView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    setCaret(m_mouse.doubleClick(m_document.store(), positionAt(point), point));
}

void TextView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_mouse.isSelecting() || !(event->buttons() & Qt::LeftButton))
        return;
    m_lastMouse = event->position().toPoint();
    const bool outside = m_lastMouse.y() < 0 || m_lastMouse.y() >= viewport()->height();
    if (outside && !m_autoScroll.isActive())
        m_autoScroll.start(50, this);
    else if (!outside)
        m_autoScroll.stop();
    setCaret(m_mouse.dragTo(m_document.store(), positionAt(m_lastMouse)));
}

void TextView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_autoScroll.stop();
    if (m_mouse.release())
        publishPrimarySelection();
}

void TextView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_autoScroll.timerId()) {
        scrollRows(m_lastMouse.y() < 0 ? -1 : 1);
        setCaret(m_mouse.dragTo(m_document.store(), positionAt(m_lastMouse)));
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

QMenu *TextView::createStandardContextMenu()
{
    return TextContextMenu::create(this);
}

void TextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TextView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    m_caret.restart(true);
    updateCaret();
}

void TextView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        m_composition.finish();
    m_caret.hide();
    m_document.closeUndoGroup();
}

bool TextView::focusNextPrevChild(bool)
{
    return false; // Tab types a tab
}

void TextView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void TextView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ActivationChange)
        viewport()->update();
}

// ---- clipboard, selection and drops -------------------------------------------------

bool TextView::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

void TextView::insertFromMimeData(const QMimeData *source)
{
    if (!canInsertFromMimeData(source))
        return;
    if (!insertText(source->text()))
        QApplication::beep();
}

QMimeData *TextView::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(selectedText());
    return data;
}

bool TextView::primarySelectionText(QString *text)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
    if (!data)
        return false;
    *text = data->text();
    return true;
}

bool TextView::copyToClipboard()
{
    QGuiApplication::clipboard()->setMimeData(createMimeDataFromSelection(), QClipboard::Clipboard);
    return true;
}

void TextView::copy()
{
    if (hasSelection())
        copyToClipboard();
}

void TextView::cut()
{
    // What could not be put on the clipboard stays in the text.
    if (hasSelection() && copyToClipboard())
        deleteSelection();
}

void TextView::paste()
{
    insertFromMimeData(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
}

void TextView::publishPrimarySelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!hasSelection() || !clipboard->supportsSelection())
        return;
    auto *data = new SelectionMimeData(m_document, selectionStart(), selectionEnd());
    m_primary = data;
    clipboard->setMimeData(data, QClipboard::Selection);
}

void TextView::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void TextView::dragMoveEvent(QDragMoveEvent *event)
{
    // Nothing is dropped into a text still being read: a drop cannot wait.
    if (isReading() || !canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    const int at = positionAt(event->position().toPoint());
    if (at != m_dropPosition) {
        m_dropPosition = at;
        viewport()->update();
    }
    event->acceptProposedAction();
}

void TextView::dragLeaveEvent(QDragLeaveEvent *)
{
    m_dropPosition = -1;
    viewport()->update();
}

void TextView::dropEvent(QDropEvent *event)
{
    const int at = positionAt(event->position().toPoint());
    m_dropPosition = -1;
    if (isReading() || !canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    m_document.closeUndoGroup();
    m_editor.setCaret(at, at);
    insertFromMimeData(event->mimeData());
    event->acceptProposedAction();
    setFocus();
    viewport()->update();
}

// ---- input methods ------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent *event)
{
    edited(TextInputMethod::apply(*event, m_editor, m_composition));
    updateCaret();
    event->accept();
    tellInputMethodWhereTheCaretIs();
}

void TextView::tellInputMethodWhereTheCaretIs()
{
    // It places its candidates by the caret: in what it composes too, and
    // wherever the window went meanwhile.
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    auto *self = const_cast<TextView *>(this);
    switch (query) {
    case Qt::ImCursorRectangle:
        return QRectF(self->cursorRect().translated(viewport()->pos()));
    case Qt::ImAnchorRectangle:
        return QRectF(self->characterRect(anchor()).translated(viewport()->pos()));
    case Qt::ImFont:
        return font();
    default: {
        const QVariant answer = TextInputMethod::query(query, m_editor);
        return answer.isValid() || query == Qt::ImMaximumTextLength ? answer
                                                                    : QAbstractScrollArea::inputMethodQuery(query);
    }
    }
}
