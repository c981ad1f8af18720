#include "state/Playlists.h"

#include <algorithm>

namespace PlaylistName {

QString canonical(const QString& name)
{
    return name.normalized(QString::NormalizationForm_C);
}

bool same(const QString& a, const QString& b)
{
    return a == b || canonical(a) == canonical(b);
}

bool lessThan(const QString& a, const QString& b)
{
    return CanonicalNameOrder()(canonical(a), canonical(b));
}

}  // namespace PlaylistName

// UTF-16 code-unit order would put U+E000..U+FFFF after the surrogate pairs;
// comparing scalars keeps the true Unicode order.
bool CanonicalNameOrder::operator()(const QString& a, const QString& b) const
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = a.at(i).unicode();
        char32_t y = b.at(j).unicode();
        if (QChar::isHighSurrogate(x) && i + 1 < a.size() && a.at(i + 1).isLowSurrogate()) {
            x = QChar::surrogateToUcs4(a.at(i), a.at(i + 1));
            ++i;
        }
        if (QChar::isHighSurrogate(y) && j + 1 < b.size() && b.at(j + 1).isLowSurrogate()) {
            y = QChar::surrogateToUcs4(b.at(j), b.at(j + 1));
            ++j;
        }
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return i == a.size() && j < b.size();
}

bool Playlists::contains(const QString& name) const
{
    return m_entries.count(PlaylistName::canonical(name)) != 0;
}

const TrackList* Playlists::find(const QString& name) const
{
    const auto it = m_entries.find(PlaylistName::canonical(name));
    return it == m_entries.end() ? nullptr : &it->second.tracks;
}

TrackList* Playlists::find(const QString& name)
{
    const auto it = m_entries.find(PlaylistName::canonical(name));
    return it == m_entries.end() ? nullptr : &it->second.tracks;
}

TrackList Playlists::tracks(const QString& name) const
{
    const TrackList* found = find(name);
    return found ? *found : TrackList();
}

QString Playlists::storedName(const QString& name) const
{
    const auto it = m_entries.find(PlaylistName::canonical(name));
    return it == m_entries.end() ? name : it->second.name;
}

void Playlists::insert(const QString& name, TrackList tracks)
{
    const QString key = PlaylistName::canonical(name);
    const auto it = m_entries.find(key);
    if (it != m_entries.end())
        it->second.tracks = std::move(tracks);
    else
        m_entries.emplace(key, Entry{name, std::move(tracks)});
}

bool Playlists::remove(const QString& name)
{
    return m_entries.erase(PlaylistName::canonical(name)) != 0;
}

QStringList Playlists::names() const
{
    QStringList result;
    result.reserve(size());
    for (const auto& [key, entry] : m_entries)
        result << entry.name;
    return result;
}

bool Playlists::operator==(const Playlists& other) const
{
    return m_entries == other.m_entries;
}

bool PlaylistNameSet::contains(const QString& name) const
{
    return m_names.count(PlaylistName::canonical(name)) != 0;
}

void PlaylistNameSet::insert(const QString& name)
{
    m_names.emplace(PlaylistName::canonical(name), name);
}

bool PlaylistNameSet::remove(const QString& name)
{
    return m_names.erase(PlaylistName::canonical(name)) != 0;
}

QStringList PlaylistNameSet::names() const
{
    QStringList result;
    for (const auto& [key, name] : m_names)
        result << name;
    return result;
}
