#include "state/SavedLoops.h"

#include <algorithm>
#include <cmath>

bool SavedLoop::matches(const SavedLoop& other) const
{
    constexpr double withinSeconds = 0.0005;
    return std::abs(startSeconds - other.startSeconds) < withinSeconds
        && std::abs(endSeconds - other.endSeconds) < withinSeconds;
}

bool SavedLoops::add(const QString& track, const SavedLoop& loop)
{
    QList<SavedLoop>& loops = m_loops[track];
    const bool known = std::any_of(loops.cbegin(), loops.cend(), [&](const SavedLoop& saved) { return saved.matches(loop); });
    if (known || loops.size() >= perTrack) {
        if (loops.isEmpty())
            m_loops.remove(track);
        return false;
    }
    loops.append(loop);
    return true;
}

bool SavedLoops::remove(const QString& track, qsizetype index)
{
    const auto it = m_loops.find(track);
    if (it == m_loops.end() || index < 0 || index >= it->size())
        return false;
    it->removeAt(index);
    if (it->isEmpty())
        m_loops.erase(it);
    return true;
}

void SavedLoops::set(const QString& track, QList<SavedLoop> loops)
{
    if (loops.isEmpty())
        m_loops.remove(track);
    else
        m_loops.insert(track, std::move(loops));
}
