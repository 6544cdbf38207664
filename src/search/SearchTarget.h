#pragma once
// What the search needs of the text it searches: the selection, and a
// forward find from a position. The note's text area offers it.

#include <QString>

class QWidget;

struct SearchOptions
{
    bool caseSensitive = false;
    bool wholeWord = false; // beginning and ending where the text's words do
};

class SearchTarget
{
public:
    // Writing SelStart leaves nothing selected.
    virtual int SelStart() const = 0;
    virtual int SelLength() const = 0;
    virtual void setSelStart(int position) = 0;
    // Searches forward from start for the first occurrence of text; selects
    // it and returns its position, or returns -1 and leaves the selection.
    virtual int Find(const QString &text, int start, SearchOptions options) = 0;
    // Asked before a search: waits for a text still being read to come
    // whole; false where it did not (the search then does nothing).
    virtual bool waitForWholeText() = 0;

protected:
    ~SearchTarget() = default;
};
