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
    const int from = change.position;
    const int removedEnd = from + change.removed;
    const int delta = change.inserted - change.removed;
    // A run's start stays before text inserted at it, its end stays after
    // text inserted right behind it.
    auto mapStart = [&](int p) {
        if (p < from)
            return p;
        return p >= removedEnd ? p + delta : from + change.inserted;
    };
    auto mapEnd = [&](int p) {
        if (p <= from)
            return p;
        return p >= removedEnd ? p + delta : from;
    };
    std::vector<Run> runs;
    runs.reserve(m_runs.size());
    for (Run run : m_runs) {
        const int start = mapStart(run.start);
        int end = mapEnd(run.end);
        // Text inserted inside a run, or right at its end, takes its colour.
        if (change.inserted > 0 && run.start < from && run.end >= from)
            end = qMax(end, from + change.inserted);
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
