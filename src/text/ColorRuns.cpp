#include "ColorRuns.h"

#include <algorithm>

void ColorRuns::set(int start, int end, const QColor &color)
{
    if (start >= end)
        return;
    std::vector<Run> runs;
    runs.reserve(m_runs.size() + 2);
    for (const Run &run : m_runs) {
        if (run.end <= start || run.start >= end) {
            runs.push_back(run);
            continue;
        }
        // Keep what sticks out on either side.
        if (run.start < start)
            runs.push_back({run.start, start, run.color});
        if (run.end > end)
            runs.push_back({end, run.end, run.color});
    }
    runs.push_back({start, end, color.rgba()});
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.start < b.start; });
    m_runs = std::move(runs);
}

std::optional<QColor> ColorRuns::at(int position) const
{
    auto found = std::upper_bound(m_runs.begin(), m_runs.end(), position,
                                  [](int p, const Run &run) { return p < run.start; });
    if (found == m_runs.begin())
        return std::nullopt;
    --found;
    if (position < found->end)
        return QColor::fromRgba(found->color);
    return std::nullopt;
}

void ColorRuns::apply(const TextChange &change)
{
    if (m_runs.empty())
        return;
    // Text that goes in where a run starts is not coloured by it: its start
    // moves on past the new text. Its end stays before text inserted there,
    // but a run that reaches the place of the change, from before it, takes
    // in what is inserted there: typing at the end of a coloured stretch
    // goes on in its colour.
    std::vector<Run> runs;
    runs.reserve(m_runs.size());
    for (Run run : m_runs) {
        const int start = change.map(run.start, OnInsert::Move);
        int end = change.map(run.end, OnInsert::Stay);
        if (change.inserted > 0 && run.start < change.position && run.end >= change.position)
            end = qMax(end, change.position + change.inserted);
        if (start < end)
            runs.push_back({start, end, run.color});
    }
    m_runs = std::move(runs);
}

std::vector<ColorRuns::Run> ColorRuns::overlapping(int from, int to) const
{
    std::vector<Run> found;
    for (const Run &run : m_runs) {
        if (run.start >= to)
            break;
        if (run.end > from)
            found.push_back(run);
    }
    return found;
}
