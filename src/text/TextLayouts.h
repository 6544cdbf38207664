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

class Composition;

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
    // The height of a row of the font's own characters. A row that shows
    // characters of a taller font (a fallback font for a script the font has
    // no glyphs for) is as much taller as that font reaches above and below.
    int rowHeight() const { return m_rowHeight; }
    // A row's height in pixels (its piece is laid out if it is not yet), and
    // its top in its piece's layout.
    int heightOf(const RowRef &row);
    int topOf(const RowRef &row);
    // The height of a piece's rows together.
    int pieceHeight(int line, int piece);
    int width() const { return m_width; }
    const QFont &font() const { return m_font; }

    // After the whole text was replaced, and after each change.
    void rebuild();
    void apply(const TextChange &change);

    // What an input method composes is shown where it stands; the layouts
    // read it from its owner, who tells them (forget) where it was and is.
    void showComposition(const Composition *composition) { m_composition = composition; }
    // The piece that shows position is laid out anew when next asked for.
    void forget(int position);

    const RowMap &rowMap() const { return m_rowMap; }

    // Pieces of a line: offsets within the line.
    int pieceCount(int line);
    int pieceOf(int line, int offset);
    int pieceStart(int line, int piece);
    int pieceEnd(int line, int piece);
    // The piece laid out (now, if it is not yet); the positions it takes are
    // offsets in the piece, shifted past any composition shown in it
    // (toLayout, fromLayout).
    QTextLayout &layout(int line, int piece);
    int toLayout(int line, int piece, int offset);
    int fromLayout(int line, int piece, int layoutOffset);
    // Characters that would show as nothing or break the row (controls,
    // separators, noncharacters) are laid out as a blank of a fixed width,
    // on which the painter paints their name: their ranges of layout offsets.
    const QList<QTextLayout::FormatRange> &symbolRanges(int line, int piece);
    // How much smaller a symbol's name is than the text.
    static constexpr qreal SymbolNameScale = 0.7;

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
    // The x of a position in its row (or in the row given), and the
    // position nearest an x, as Qt's layout has it.
    qreal xOf(int position);
    qreal xInRow(const RowRef &row, int position);
    int positionAtX(const RowRef &row, qreal x);

    // Whether the text of position's piece reads from right to left (its
    // first letter of a script with a direction does, as Qt lays it out).
    bool isRightToLeft(int position);
    // Whether position's piece holds any text that reads from right to left.
    bool hasRightToLeft(int position);
    // The place one step to the right (or left) of position on screen, as
    // Qt's layout of its piece has it; -1 at the piece's edge that way.
    int visualStep(int position, bool right);

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
        int height = 0; // in pixels, once laid out
        std::unique_ptr<QTextLayout> layout;
        QList<QTextLayout::FormatRange> symbols;
        int compositionOffset = -1; // where the layout shows the composition, if it does
        bool rightToLeft = false;   // holds text that reads from right to left
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
    void buildLayout(int lineNumber, int pieceIndex);
    int compositionPosition() const;
    int compositionLength() const;
    // The rows a line of length characters is reckoned to take before it is laid out.
    int estimateRows(int length) const;
    qint64 charactersPerRow() const;
    // How much Qt widens a tab stop and a letter spacing in this font.
    struct DeviceScale
    {
        qreal tabs = 1;
        qreal spacing = 1;
    };
    static DeviceScale deviceScale(const QFont &font);
    void updateRowMap(int lineNumber, const Line &line);

    const TextDocument &m_document;
    QFont m_font;
    int m_width = 0;
    int m_rowHeight = 1;
    qreal m_ascent = 0; // the font's own, which a row of its characters reaches
    qreal m_descent = 0;
    qreal m_charWidth = 1;
    qreal m_tabStop = 8;
    qreal m_blankWidth = 1;
    qreal m_symbolWidth = 1;
    qreal m_symbolSpacing = 0; // the letter spacing that widens a blank to a symbol
    RowMap m_rowMap;
    std::map<int, Line> m_lines;
    const Composition *m_composition = nullptr;
};
