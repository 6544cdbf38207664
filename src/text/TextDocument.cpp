#include "TextDocument.h"

namespace {

// Blanks and breaks: a stretch of typing, one step of undo, ends after them.
bool endsTypingStretch(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || QChar::isSpace(c);
}

} // namespace

TextDocument::TextDocument(QObject *parent)
    : QObject(parent)
{
}

void TextDocument::setText(QStringView text)
{
    TextStore store;
    store.assign(text);
    setStore(std::move(store));
}

void TextDocument::setStore(TextStore &&store)
{
    putInPlace(std::move(store), {}, 0);
}

void TextDocument::putInPlace(TextStore &&store, std::vector<Step> &&steps, size_t done, Replaced *was)
{
    emit aboutToReset();
    const bool hadUndo = isUndoAvailable();
    const bool hadRedo = isRedoAvailable();
    if (was) {
        was->store = std::move(m_store);
        was->steps = std::move(m_steps);
        was->done = m_done;
    }
    m_store = std::move(store);
    m_steps = std::move(steps);
    m_done = done;
    ++m_revision;
    notifyHistory(hadUndo, hadRedo);
    emit reset();
}

void TextDocument::beginRead(TextStore &&first)
{
    if (m_replaced) {
        putInPlace(std::move(first), {}, 0);
        return;
    }
    auto replaced = std::make_unique<Replaced>(); // before anything changes
    putInPlace(std::move(first), {}, 0, replaced.get());
    m_replaced = std::move(replaced);
}

void TextDocument::endRead(bool keep)
{
    std::unique_ptr<Replaced> replaced = std::move(m_replaced);
    if (replaced && !keep)
        putInPlace(std::move(replaced->store), std::move(replaced->steps), replaced->done);
}

void TextDocument::appendRead(TextStore &&piece)
{
    if (piece.length() == 0)
        return;
    TextChange change;
    change.position = m_store.length();
    change.inserted = piece.length();
    change.line = m_store.lineCount() - 1;
    change.linesInserted = piece.lineCount() - 1;
    emit aboutToChange(change);
    m_store.append(std::move(piece));
    ++m_revision;
    emit changed(change);
}

void TextDocument::notifyHistory(bool hadUndo, bool hadRedo)
{
    if (hadUndo != isUndoAvailable())
        emit undoAvailable(isUndoAvailable());
    if (hadRedo != isRedoAvailable())
        emit redoAvailable(isRedoAvailable());
}

void TextDocument::apply(int position, int count, const TextSpan &inserted)
{
    TextChange change;
    change.position = position;
    change.removed = count;
    change.inserted = int(inserted.text.size());
    change.line = m_store.lineOf(position);
    change.linesRemoved = count > 0 ? m_store.lineOf(position + count) - change.line : 0;
    change.linesInserted = int(inserted.breaks.size());
    emit aboutToChange(change);
    m_store.replace(position, count, inserted);
    ++m_revision;
    emit changed(change);
}

void TextDocument::replace(int position, int count, QStringView text, EditKind kind, Selection before)
{
    if (count == 0 && text.isEmpty())
        return;
    // The text as the store holds it: breaks as "\n", of the kind typed breaks take.
    TextStore parsed;
    parsed.insert(0, text, m_newLineBreak);
    TextSpan inserted = parsed.span(0, parsed.length());
    fitBreaksToNeighbours(position, count, inserted);
    const TextSpan removed = m_store.span(position, count);
    // The step is made aside and the text changed whole: where memory runs
    // out, it does so before anything has changed.
    m_steps.reserve(m_done + 1);
    std::optional<Step> merged = mergedWithLast(position, count, removed, inserted, kind);
    Step added{position, removed, inserted, before, kind, true};
    const bool hadUndo = isUndoAvailable();
    const bool hadRedo = isRedoAvailable();
    apply(position, count, inserted);

    m_steps.resize(m_done); // a new edit ends what could be redone
    if (merged) {
        m_steps.back() = std::move(*merged);
    } else {
        if (!m_steps.empty())
            m_steps.back().open = false;
        m_steps.push_back(std::move(added));
    }
    m_done = m_steps.size();
    notifyHistory(hadUndo, hadRedo);
}

void TextDocument::fitBreaksToNeighbours(int position, int count, TextSpan &inserted) const
{
    if (inserted.breaks.isEmpty())
        return;
    // A CR break followed at once by an LF break is written "\r\n" and read
    // back as one break. So a new first break that would follow a CR is not
    // an LF, and a new last break that would come before an LF is not a CR;
    // one between both is a CRLF.
    const bool afterCR = inserted.text.front() == u'\n' && position > 0
        && m_store.at(position - 1) == u'\n' && m_store.lineBreak(m_store.lineOf(position - 1)) == LineBreak::CR;
    const int next = position + count;
    const bool beforeLF = inserted.text.back() == u'\n' && next < m_store.length()
        && m_store.at(next) == u'\n' && m_store.lineBreak(m_store.lineOf(next)) == LineBreak::LF;
    auto fit = [&](char &kind, bool cr, bool lf) {
        const LineBreak wanted = LineBreak(kind);
        if (cr && lf)
            kind = char(LineBreak::CRLF);
        else if (cr && wanted == LineBreak::LF)
            kind = char(LineBreak::CR);
        else if (lf && wanted == LineBreak::CR)
            kind = char(LineBreak::LF);
    };
    const qsizetype last = inserted.breaks.size() - 1;
    fit(inserted.breaks[0], afterCR, beforeLF && last == 0);
    if (last > 0)
        fit(inserted.breaks[last], false, beforeLF);
}

std::optional<TextDocument::Step> TextDocument::mergedWithLast(int position, int count, const TextSpan &removed,
                                                              const TextSpan &inserted, EditKind kind) const
{
    if (m_done == 0 || kind == EditKind::Other || kind == EditKind::Committed)
        return std::nullopt;
    Step last = m_steps[m_done - 1];
    if (!last.open || last.kind != kind)
        return std::nullopt;
    if (kind == EditKind::Typing) {
        if (count != 0 || position != last.position + int(last.inserted.text.size()))
            return std::nullopt;
        // Typing is undone a stretch at a time: after a blank (or a break),
        // the next character typed that is none begins a new stretch.
        const QString &typed = last.inserted.text;
        const QString &text = inserted.text;
        if (!typed.isEmpty() && endsTypingStretch(typed.back().unicode()) && !text.isEmpty()
            && !endsTypingStretch(text.front().unicode()))
            return std::nullopt;
        last.inserted.text += text;
        last.inserted.breaks += inserted.breaks;
        return last;
    }
    // Deleting: Backspace takes what lies just before, Delete what lies just after.
    if (!inserted.text.isEmpty() || !last.inserted.text.isEmpty())
        return std::nullopt;
    if (position + count == last.position) {
        last.removed.text.prepend(removed.text);
        last.removed.breaks.prepend(removed.breaks);
        last.position = position;
        return last;
    }
    if (position == last.position) {
        last.removed.text += removed.text;
        last.removed.breaks += removed.breaks;
        return last;
    }
    return std::nullopt;
}

void TextDocument::closeUndoGroup()
{
    if (!m_steps.empty())
        m_steps.back().open = false;
}

TextDocument::Selection TextDocument::undo()
{
    if (!isUndoAvailable())
        return {};
    const bool hadRedo = isRedoAvailable();
    Step &step = m_steps[--m_done];
    step.open = false;
    apply(step.position, int(step.inserted.text.size()), step.removed);
    notifyHistory(true, hadRedo);
    return step.before;
}

TextDocument::Selection TextDocument::redo()
{
    if (!isRedoAvailable())
        return {};
    const bool hadUndo = isUndoAvailable();
    const Step &step = m_steps[m_done++];
    apply(step.position, int(step.removed.text.size()), step.inserted);
    notifyHistory(hadUndo, true);
    const int end = step.position + int(step.inserted.text.size());
    return Selection{end, end};
}
