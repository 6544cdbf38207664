#include "TextLayouts.h"

#include "Composition.h"
#include "TextBoundaries.h"

#include <QFontMetricsF>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The rows length characters take at perRow a row, as reckoned before they
// are laid out.
int estimatedRows(qint64 length, qint64 perRow)
{
    return length <= perRow ? 1 : int(qMin<qint64>((length + perRow - 1) / perRow, 0x3FFFFFFF));
}

// Lines kept laid out, and pieces of one long line kept laid out.
constexpr size_t MaxCachedLines = 400;
constexpr int KeptPiecesBefore = 8;
constexpr int KeptPiecesAfter = 24;

// The blanks a row may wrap after, as Qt wraps a line at a word's end.
bool wrapsAfter(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Characters that would show as nothing, or break the row: controls,
// separators and noncharacters. Each is laid out as a blank of a fixed width,
// on which the view paints its name.
bool showsAsSymbol(char16_t c)
{
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029
        || (c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFFFE || c == 0xFFFF;
}

} // namespace

TextLayouts::TextLayouts(const TextDocument &document)
    : m_document(document)
{
}

TextLayouts::~TextLayouts() = default;

void TextLayouts::configure(const QFont &font, int width)
{
    width = qMax(1, width);
    if (font == m_font && width == m_width && m_rowMap.lineCount() > 0)
        return;
    m_font = font;
    m_width = width;
    const QFontMetricsF metrics(font);
    m_rowHeight = qMax(1, int(std::ceil(metrics.lineSpacing())));
    m_ascent = metrics.ascent();
    m_descent = metrics.descent();
    m_charWidth = qMax<qreal>(1, metrics.horizontalAdvance(u'x'));
    m_blankWidth = metrics.horizontalAdvance(QChar(0x00A0));
    // Names are painted smaller than the text. Their width is reckoned from
    // the text's own font, so the smaller one is loaded only when a name is
    // painted.
    m_symbolWidth = std::ceil(metrics.horizontalAdvance(QStringLiteral("FDD0")) * SymbolNameScale) + 4;
    // Qt takes a tab stop and a letter spacing in the screen's pixels and
    // scales them to a font made for another device (a printer's): each is
    // handed over in those terms, so that a tab is eight blanks and a symbol
    // as wide as its name on paper as on the screen.
    const DeviceScale scale = deviceScale(font);
    m_tabStop = 8 * metrics.horizontalAdvance(u' ') / scale.tabs;
    m_symbolSpacing = (m_symbolWidth - m_blankWidth) / scale.spacing;
    rebuild();
}

TextLayouts::DeviceScale TextLayouts::deviceScale(const QFont &font)
{
    // As Qt lays them out: a tab from the line's start, and a blank with and
    // without a letter spacing.
    constexpr qreal Probe = 100;
    auto width = [&font](const QString &text, const QTextOption &option, const QList<QTextLayout::FormatRange> &formats) {
        QTextLayout layout(text, font);
        layout.setTextOption(option);
        layout.setFormats(formats);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setNumColumns(int(text.size()));
        layout.endLayout();
        return line.cursorToX(int(text.size()));
    };
    QTextOption tabs;
    tabs.setTabStopDistance(Probe);
    QTextLayout::FormatRange spaced{0, 1, QTextCharFormat()};
    spaced.format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    spaced.format.setFontLetterSpacing(Probe);
    const QString blank(QChar(0x00A0));
    const qreal tab = width(QStringLiteral("\t"), tabs, {}) / Probe;
    const qreal spacing = (width(blank, QTextOption(), {spaced}) - width(blank, QTextOption(), {})) / Probe;
    return {tab > 0 ? tab : 1, spacing > 0 ? spacing : 1};
}

qint64 TextLayouts::charactersPerRow() const
{
    return qMax<qint64>(1, qint64(m_width / m_charWidth));
}

int TextLayouts::estimateRows(int length) const
{
    return estimatedRows(length, charactersPerRow());
}

void TextLayouts::rebuild()
{
    m_lines.clear();
    const TextStore &store = m_document.store();
    // For every line of what may be a large text: the width reckoned once.
    const qint64 perRow = charactersPerRow();
    m_rowMap.reset(store.lineCount(),
                   [&store, perRow](int line) { return estimatedRows(store.lineLength(line), perRow); });
}

void TextLayouts::apply(const TextChange &change)
{
    const TextStore &store = m_document.store();
    const int first = change.line;
    const int lastOld = first + change.linesRemoved;
    const int shift = change.linesInserted - change.linesRemoved;
    const bool sameLines = change.linesRemoved == 0 && change.linesInserted == 0;

    std::map<int, Line> kept;
    Line edited;
    bool haveEdited = false;
    for (auto &[number, line] : m_lines) {
        if (number < first)
            kept.emplace(number, std::move(line));
        else if (number > lastOld)
            kept.emplace(number + shift, std::move(line));
        else if (sameLines) {
            edited = std::move(line);
            haveEdited = true;
        }
    }
    m_lines = std::move(kept);

    std::vector<int> rows;
    rows.reserve(size_t(change.linesInserted) + 1);
    for (int i = 0; i <= change.linesInserted; ++i)
        rows.push_back(estimateRows(store.lineLength(first + i)));
    m_rowMap.replace(first, change.linesRemoved + 1, rows);

    if (!haveEdited)
        return;
    // One line changed: keep the pieces before the edit and those after it
    // whose text only moved; cut the rest anew.
    const int offset = change.position - store.lineStart(first);
    const int editEnd = offset + change.removed; // in the old line
    const int delta = change.inserted - change.removed;
    size_t k = 0;
    while (k + 1 < edited.pieces.size()
           && edited.pieces[k].start + edited.pieces[k].length <= qMax(0, offset - 1))
        ++k;
    Line line;
    std::vector<Piece> old;
    for (size_t i = 0; i < edited.pieces.size(); ++i) {
        if (i < k)
            line.pieces.push_back(std::move(edited.pieces[i]));
        else
            old.push_back(std::move(edited.pieces[i]));
    }
    cutIntoPieces(first, line, int(k), &old, editEnd, delta);
    updateRowMap(first, line);
    m_lines.emplace(first, std::move(line));
}

TextLayouts::Line &TextLayouts::line(int number)
{
    auto found = m_lines.find(number);
    if (found != m_lines.end())
        return found->second;
    Line line;
    cutIntoPieces(number, line, 0, nullptr, 0, 0);
    return m_lines.emplace(number, std::move(line)).first->second;
}

void TextLayouts::cutIntoPieces(int lineNumber, Line &line, int fromPiece, std::vector<Piece> *reusable,
                                int editEnd, int delta)
{
    const TextStore &store = m_document.store();
    const int lineStart = store.lineStart(lineNumber);
    const int lineLength = store.lineLength(lineNumber);
    int start = fromPiece == 0 ? 0 : line.pieces.back().start + line.pieces.back().length;
    for (;;) {
        // A piece that begins past the edit, where one began before, is the
        // same text as before: it and every piece after it stay as they were,
        // if where it begins is still where a character begins.
        if (reusable && start - delta >= editEnd && start > 0
            && TextBoundaries::isCharacterStart(store, lineStart + start)) {
            for (size_t j = 0; j < reusable->size(); ++j) {
                if ((*reusable)[j].start == start - delta) {
                    for (size_t i = j; i < reusable->size(); ++i) {
                        Piece moved = std::move((*reusable)[i]);
                        moved.start += delta;
                        line.pieces.push_back(std::move(moved));
                    }
                    return;
                }
            }
        }
        Piece piece;
        piece.start = start;
        if (lineLength - start <= PieceTarget + PieceSlack)
            piece.length = lineLength - start;
        else
            piece.length = cutAfter(lineStart, lineLength, start + PieceTarget) - start;
        piece.rows = estimateRows(piece.length);
        start += piece.length;
        line.pieces.push_back(std::move(piece));
        if (start >= lineLength)
            return;
    }
}

int TextLayouts::cutAfter(int lineStart, int lineLength, int target) const
{
    const TextStore &store = m_document.store();
    // Where a blank ends, not far after the target, so that rows wrap there
    // as they would in one piece; else where the next character begins, as
    // the keys would stop; else, past a character longer than any sensible
    // one, at least not inside a surrogate pair. Blanks and characters are
    // asked of the store rather than words: in a long run of Thai the
    // dictionary would read the whole run again after every typed key.
    const int limit = qMin(lineLength, target + PieceSlack);
    for (int i = target; i < limit; ++i) {
        if (wrapsAfter(store.at(lineStart + i - 1)) && !wrapsAfter(store.at(lineStart + i))
            && TextBoundaries::isCharacterStart(store, lineStart + i))
            return i;
    }
    const int character = TextBoundaries::nextCharacter(store, lineStart + target - 1) - lineStart;
    if (character < limit)
        return character;
    return TextBoundaries::codePointEnd(store, lineStart + target) - lineStart;
}

int TextLayouts::pieceCount(int number)
{
    return int(line(number).pieces.size());
}

int TextLayouts::pieceOf(int number, int offset)
{
    const std::vector<Piece> &pieces = line(number).pieces;
    // The last piece whose start is at or before offset.
    size_t low = 0;
    size_t high = pieces.size() - 1;
    while (low < high) {
        const size_t middle = (low + high + 1) / 2;
        if (pieces[middle].start <= offset)
            low = middle;
        else
            high = middle - 1;
    }
    return int(low);
}

int TextLayouts::pieceStart(int number, int piece)
{
    return line(number).pieces[size_t(piece)].start;
}

int TextLayouts::pieceEnd(int number, int piece)
{
    const Piece &p = line(number).pieces[size_t(piece)];
    return p.start + p.length;
}

int TextLayouts::compositionPosition() const
{
    return m_composition ? m_composition->position() : -1;
}

int TextLayouts::compositionLength() const
{
    return m_composition ? int(m_composition->text().size()) : 0;
}

void TextLayouts::forget(int position)
{
    const TextStore &store = m_document.store();
    if (position < 0 || position > store.length())
        return;
    const int number = store.lineOf(position);
    auto found = m_lines.find(number);
    if (found == m_lines.end())
        return;
    Piece &piece = found->second.pieces[size_t(pieceOf(number, position - store.lineStart(number)))];
    piece.layout.reset();
    piece.compositionOffset = -1;
}

int TextLayouts::toLayout(int number, int piece, int offset)
{
    const Piece &p = line(number).pieces[size_t(piece)];
    if (p.compositionOffset < 0 || offset < p.compositionOffset)
        return offset;
    return offset + compositionLength();
}

int TextLayouts::fromLayout(int number, int piece, int layoutOffset)
{
    const Piece &p = line(number).pieces[size_t(piece)];
    if (p.compositionOffset < 0 || layoutOffset < p.compositionOffset)
        return layoutOffset;
    if (layoutOffset < p.compositionOffset + compositionLength())
        return p.compositionOffset;
    return layoutOffset - compositionLength();
}

void TextLayouts::buildLayout(int number, int pieceIndex)
{
    Piece &piece = line(number).pieces[size_t(pieceIndex)];
    const TextStore &store = m_document.store();
    const int lineStart = store.lineStart(number);
    QString text = store.text(lineStart + piece.start, piece.length);

    // Characters that would show as nothing, or break the row, take a blank
    // of their own width, on which their name is painted.
    piece.symbols.clear();
    char16_t *chars = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!showsAsSymbol(chars[i]))
            continue;
        chars[i] = 0x00A0;
        if (!piece.symbols.isEmpty()
            && piece.symbols.back().start + piece.symbols.back().length == int(i))
            ++piece.symbols.back().length;
        else
            piece.symbols.append({int(i), 1, QTextCharFormat()});
    }

    piece.rightToLeft = false;
    for (qsizetype i = 0; i < text.size() && !piece.rightToLeft; ++i) {
        char32_t c = chars[i];
        if (c < 0x0590) // nothing before Hebrew reads from right to left
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(chars[i + 1]))
            c = QChar::surrogateToUcs4(char16_t(c), chars[++i]);
        const QChar::Direction direction = QChar::direction(c);
        piece.rightToLeft = direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirRLE
            || direction == QChar::DirRLO || direction == QChar::DirRLI;
    }

    QList<QTextLayout::FormatRange> formats;
    for (QTextLayout::FormatRange symbol : piece.symbols) {
        symbol.format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        symbol.format.setFontLetterSpacing(m_symbolSpacing);
        formats.append(symbol);
    }
    // What an input method composes stands in the text where it is.
    const int composing = compositionPosition();
    const int compositionOffset = composing - lineStart - piece.start;
    piece.compositionOffset = -1;
    if (composing >= 0 && composing <= store.length() && store.lineOf(composing) == number
        && pieceOf(number, composing - lineStart) == pieceIndex) {
        piece.compositionOffset = compositionOffset;
        text.insert(compositionOffset, m_composition->text());
        const int n = compositionLength();
        for (QTextLayout::FormatRange &symbol : piece.symbols) {
            if (symbol.start >= compositionOffset)
                symbol.start += n;
        }
        for (QTextLayout::FormatRange &format : formats) {
            if (format.start >= compositionOffset)
                format.start += n;
        }
        for (QTextLayout::FormatRange format : m_composition->formats()) {
            format.start += compositionOffset;
            formats.append(format);
        }
    }

    auto layout = std::make_unique<QTextLayout>(text, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(m_tabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (!formats.isEmpty())
        layout->setFormats(formats);
    int rows = 0;
    int height = 0;
    layout->beginLayout();
    for (;;) {
        QTextLine row = layout->createLine();
        if (!row.isValid())
            break;
        row.setLineWidth(m_width);
        // A row is as tall as the fonts that draw it: where a fallback font
        // reaches higher or lower than the text's own, the row grows by as
        // much, and its baseline goes down by what it reaches higher.
        constexpr qreal Slack = 0.01;
        const int above = int(std::ceil(qMax<qreal>(0, row.ascent() - m_ascent - Slack)));
        const int below = int(std::ceil(qMax<qreal>(0, row.descent() - m_descent - Slack)));
        row.setPosition(QPointF(0, height));
        height += m_rowHeight + above + below;
        ++rows;
    }
    layout->endLayout();
    piece.rows = qMax(1, rows);
    piece.height = qMax(m_rowHeight, height);
    piece.layout = std::move(layout);
}

QTextLayout &TextLayouts::layout(int number, int pieceIndex)
{
    Line &l = line(number);
    Piece &piece = l.pieces[size_t(pieceIndex)];
    if (!piece.layout) {
        const int before = piece.rows;
        buildLayout(number, pieceIndex);
        if (piece.rows != before || l.pieces.size() == 1)
            updateRowMap(number, l);
    }
    return *piece.layout;
}

int TextLayouts::pieceHeight(int number, int piece)
{
    layout(number, piece);
    return line(number).pieces[size_t(piece)].height;
}

int TextLayouts::topOf(const RowRef &row)
{
    return int(layout(row.line, row.piece).lineAt(row.row).y());
}

int TextLayouts::heightOf(const RowRef &row)
{
    const QTextLayout &laidOut = layout(row.line, row.piece);
    const int top = int(laidOut.lineAt(row.row).y());
    return row.row + 1 < laidOut.lineCount() ? int(laidOut.lineAt(row.row + 1).y()) - top
                                              : pieceHeight(row.line, row.piece) - top;
}

const QList<QTextLayout::FormatRange> &TextLayouts::symbolRanges(int number, int piece)
{
    layout(number, piece);
    return line(number).pieces[size_t(piece)].symbols;
}

void TextLayouts::updateRowMap(int number, const Line &line)
{
    int rows = 0;
    for (const Piece &piece : line.pieces)
        rows += piece.rows;
    if (m_rowMap.rows(number) != rows)
        m_rowMap.set(number, rows);
}

RowRef TextLayouts::rowOf(int position)
{
    const TextStore &store = m_document.store();
    RowRef ref;
    ref.line = store.lineOf(position);
    const int offset = position - store.lineStart(ref.line);
    ref.piece = pieceOf(ref.line, offset);
    QTextLayout &l = layout(ref.line, ref.piece);
    const int at = toLayout(ref.line, ref.piece, offset - pieceStart(ref.line, ref.piece));
    const QTextLine row = l.lineForTextPosition(at);
    ref.row = row.isValid() ? row.lineNumber() : l.lineCount() - 1;
    return ref;
}

int TextLayouts::rowStart(const RowRef &row)
{
    QTextLayout &l = layout(row.line, row.piece);
    const int start = l.lineAt(row.row).textStart();
    return m_document.store().lineStart(row.line) + pieceStart(row.line, row.piece)
        + fromLayout(row.line, row.piece, start);
}

int TextLayouts::rowEnd(const RowRef &row)
{
    QTextLayout &l = layout(row.line, row.piece);
    const QTextLine line = l.lineAt(row.row);
    return m_document.store().lineStart(row.line) + pieceStart(row.line, row.piece)
        + fromLayout(row.line, row.piece, line.textStart() + line.textLength());
}

bool TextLayouts::isLastRowOfLine(const RowRef &row)
{
    return row.piece == pieceCount(row.line) - 1 && row.row == layout(row.line, row.piece).lineCount() - 1;
}

bool TextLayouts::next(RowRef &row)
{
    if (row.row + 1 < layout(row.line, row.piece).lineCount()) {
        ++row.row;
        return true;
    }
    if (row.piece + 1 < pieceCount(row.line)) {
        row = {row.line, row.piece + 1, 0};
        return true;
    }
    if (row.line + 1 < m_document.store().lineCount()) {
        row = {row.line + 1, 0, 0};
        return true;
    }
    return false;
}

bool TextLayouts::previous(RowRef &row)
{
    if (row.row > 0) {
        --row.row;
        return true;
    }
    if (row.piece > 0) {
        --row.piece;
    } else if (row.line > 0) {
        --row.line;
        row.piece = pieceCount(row.line) - 1;
    } else {
        return false;
    }
    row.row = layout(row.line, row.piece).lineCount() - 1;
    return true;
}

RowRef TextLayouts::lastRow()
{
    RowRef row;
    row.line = m_document.store().lineCount() - 1;
    row.piece = pieceCount(row.line) - 1;
    row.row = layout(row.line, row.piece).lineCount() - 1;
    return row;
}

qint64 TextLayouts::rowIndex(const RowRef &row)
{
    qint64 index = m_rowMap.rowsBefore(row.line);
    const Line &l = line(row.line);
    for (int p = 0; p < row.piece; ++p)
        index += l.pieces[size_t(p)].rows;
    return index + row.row;
}

RowRef TextLayouts::rowAtIndex(qint64 index)
{
    auto [number, rest] = m_rowMap.lineAtRow(index);
    Line &l = line(number);
    for (int p = 0; p < int(l.pieces.size()); ++p) {
        if (rest < l.pieces[size_t(p)].rows || p + 1 == int(l.pieces.size())) {
            const int rows = layout(number, p).lineCount();
            return {number, p, qBound(0, rest, rows - 1)};
        }
        rest -= l.pieces[size_t(p)].rows;
    }
    return {number, 0, 0};
}

qreal TextLayouts::xOf(int position)
{
    return xInRow(rowOf(position), position);
}

qreal TextLayouts::xInRow(const RowRef &row, int position)
{
    const TextStore &store = m_document.store();
    const int offset = position - store.lineStart(row.line) - pieceStart(row.line, row.piece);
    QTextLayout &l = layout(row.line, row.piece);
    return l.lineAt(row.row).cursorToX(toLayout(row.line, row.piece, offset));
}

int TextLayouts::positionAtX(const RowRef &row, qreal x)
{
    QTextLayout &l = layout(row.line, row.piece);
    const int at = l.lineAt(row.row).xToCursor(x, QTextLine::CursorBetweenCharacters);
    return m_document.store().lineStart(row.line) + pieceStart(row.line, row.piece)
        + fromLayout(row.line, row.piece, at);
}

bool TextLayouts::isRightToLeft(int position)
{
    const RowRef row = rowOf(position);
    return layout(row.line, row.piece).text().isRightToLeft();
}

bool TextLayouts::hasRightToLeft(int position)
{
    const RowRef row = rowOf(position);
    layout(row.line, row.piece);
    return line(row.line).pieces[size_t(row.piece)].rightToLeft;
}

int TextLayouts::visualStep(int position, bool right)
{
    const TextStore &store = m_document.store();
    const RowRef row = rowOf(position);
    const int pieceStartAt = store.lineStart(row.line) + pieceStart(row.line, row.piece);
    QTextLayout &l = layout(row.line, row.piece);
    const int from = toLayout(row.line, row.piece, position - pieceStartAt);
    const int to = right ? l.rightCursorPosition(from) : l.leftCursorPosition(from);
    return to == from ? -1 : pieceStartAt + fromLayout(row.line, row.piece, to);
}

int TextLayouts::laidOutPieces(int number) const
{
    const auto found = m_lines.find(number);
    if (found == m_lines.end())
        return 0;
    return int(std::count_if(found->second.pieces.begin(), found->second.pieces.end(),
                             [](const Piece &piece) { return piece.layout != nullptr; }));
}

void TextLayouts::trim(const RowRef &top)
{
    if (m_lines.size() > MaxCachedLines) {
        // Keep the lines nearest the top of the view.
        std::vector<int> numbers;
        numbers.reserve(m_lines.size());
        for (const auto &entry : m_lines)
            numbers.push_back(entry.first);
        std::sort(numbers.begin(), numbers.end(), [&top](int a, int b) {
            return std::abs(qint64(a) - top.line) < std::abs(qint64(b) - top.line);
        });
        for (size_t i = MaxCachedLines * 3 / 4; i < numbers.size(); ++i)
            m_lines.erase(numbers[i]);
    }
    // Of a long line, keep the pieces near the one shown: for the top line,
    // around the top row; for the others, their first pieces.
    for (auto &[number, line] : m_lines) {
        if (line.pieces.size() <= size_t(KeptPiecesBefore + KeptPiecesAfter))
            continue;
        const int centre = number == top.line ? top.piece : 0;
        for (size_t p = 0; p < line.pieces.size(); ++p) {
            if ((int(p) < centre - KeptPiecesBefore || int(p) > centre + KeptPiecesAfter)
                && line.pieces[p].compositionOffset < 0)
                line.pieces[p].layout.reset();
        }
    }
}
