#include "state/SavedLoops.h"

bool SavedLoops::add(const QString& track, const SavedLoop& loop)
{
    QList<SavedLoop>& loops = m_loops[track];
    if (loops.contains(loop) || loops.size() >= perTrack) {
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
