#pragma once
// Text colours given to stretches of the text, on top of the view's own text
// colour. They follow the text as it is edited: text typed inside a stretch,
// or at its end, takes its colour.

#include "TextDocument.h"

#include <QColor>
#include <optional>
#include <vector>

class ColorRuns
{
public:
    struct Run
    {
        int start;
        int end;
        QRgb color;
    };

    void clear() { m_runs.clear(); }
    bool isEmpty() const { return m_runs.empty(); }
    void set(int start, int end, const QColor &color);
    std::optional<QColor> at(int position) const;
    void apply(const TextChange &change);
    // The runs that overlap from..to, in order.
    std::vector<Run> overlapping(int from, int to) const;

private:
    std::vector<Run> m_runs; // sorted, never overlapping, never empty
};
