#pragma once
// The laid-out form of a text, for the lines on screen only.
//
// Each line is laid out with QTextLayout, wrapped to the view's width. A long
// line is laid out in pieces of a few thousand characters, cut where a word
// begins (or else between two characters as the user sees them), so typing in
// a megabyte-long line lays out one piece, not the line. Laid-out lines are
// kept in a small cache; every other line's height is estimated in a RowMap
// from its length. A place in the laid-out text is a RowRef: a line, a piece
// of it and a row (a QTextLine) of that piece.

#include "RowMap.h"
#include "TextDocument.h"

#include <QFont>
#include <QTextLayout>

#include <map>
#include <memory>
#include <vector>

struct RowRef
{
    int line = 0;
    int piece = 0;
    int row = 0;
    friend bool operator==(const RowRef &, const RowRef &) = default;
    friend auto operator<=>(const RowRef &, const RowRef &) = default;
};

class TextLayouts
{
public:
    // Pieces are cut near this many characters; a line up to PieceTarget +
    // PieceSlack characters is one piece.
    static constexpr int PieceTarget = 4096;
    static constexpr int PieceSlack = 256;

    explicit TextLayouts(const TextDocument &document);
    ~TextLayouts();

    const TextDocument &document() const { return m_document; }

    // The font and the width lines wrap at; a change lays everything out anew.
    void configure(const QFont &font, int width);
    int rowHeight() const { return m_rowHeight; }
    int width() const { return m_width; }
    const QFont &font() const { return m_font; }

    // After the whole text was replaced, and after each change.
    void rebuild();
    void apply(const TextChange &change);

    // Text being composed by an input method, shown at position; an empty
    // text shows none.
    void setPreedit(int position, const QString &text, int cursor,
                    const QList<QTextLayout::FormatRange> &formats);
    int preeditPosition() const { return m_preeditText.isEmpty() ? -1 : m_preeditPosition; }

    const RowMap &rowMap() const { return m_rowMap; }

    // Pieces of a line: offsets within the line.
    int pieceCount(int line);
    int pieceOf(int line, int offset);
    int pieceStart(int line, int piece);
    int pieceEnd(int line, int piece);
    // The piece laid out; the positions it takes are offsets in the piece,
    // shifted past any preedit text (toLayout, fromLayout).
    QTextLayout &layout(int line, int piece);
    int toLayout(int line, int piece, int offset);
    int fromLayout(int line, int piece, int layoutOffset);
    // Characters shown by their name (controls, separators, noncharacters),
    // as ranges of layout offsets; the name is painted in symbolFont().
    const QList<QTextLayout::FormatRange> &symbolRanges(int line, int piece);
    static QString symbolName(char16_t c);
    const QFont &symbolFont() const { return m_symbolFont; }

    // Rows.
    RowRef rowOf(int position);
    int rowStart(const RowRef &row);
    int rowEnd(const RowRef &row); // after its last character (trailing blanks included)
    bool isLastRowOfLine(const RowRef &row);
    bool next(RowRef &row);
    bool previous(RowRef &row);
    RowRef lastRow();
    // The row's index among all rows (estimated above), and back.
    qint64 rowIndex(const RowRef &row);
    RowRef rowAtIndex(qint64 index);
    // The x of a position in its row, and the position nearest an x.
    qreal xOf(int position);
    int positionAtX(const RowRef &row, qreal x);

    // How many pieces of a line are laid out now.
    int laidOutPieces(int line) const;

    // Drops layouts far from the row at the top of the view.
    void trim(const RowRef &top);

private:
    struct Piece
    {
        int start = 0; // offset in the line
        int length = 0;
        int rows = 1; // laid out, or estimated
        std::unique_ptr<QTextLayout> layout;
        QList<QTextLayout::FormatRange> symbols;
        int preeditOffset = -1; // where the layout shows preedit text, if it does
    };
    struct Line
    {
        std::vector<Piece> pieces;
    };

    Line &line(int line);
    // Cuts the line from piece fromPiece on; pieces of `reusable` (the line's
    // old pieces) that begin after the edit (editEnd, in old offsets) and
    // line up again, shifted by delta, are taken over with their layouts.
    void cutIntoPieces(int lineNumber, Line &line, int fromPiece, std::vector<Piece> *reusable,
                       int editEnd, int delta);
    int cutAfter(int lineStart, int lineLength, int target) const;
    void layOut(int lineNumber, int pieceIndex);
    int estimateRows(int length) const;
    void updateRowMap(int lineNumber, const Line &line);

    const TextDocument &m_document;
    QFont m_font;
    int m_width = 0;
    int m_rowHeight = 1;
    qreal m_charWidth = 1;
    qreal m_tabStop = 8;
    qreal m_blankWidth = 1;
    qreal m_symbolWidth = 1;
    QFont m_symbolFont;
    RowMap m_rowMap;
    std::map<int, Line> m_lines;

    int m_preeditPosition = 0;
    QString m_preeditText;
    int m_preeditCursor = 0;
    QList<QTextLayout::FormatRange> m_preeditFormats;
};
