#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <map>

using Track = QUrl;
using TrackList = QList<Track>;

// Playlist names are compared under Unicode canonical equivalence (a
// precomposed letter and its decomposed form are one name) and ordered by the
// Unicode scalar values of their normalised text.
namespace PlaylistName {
QString canonical(const QString& name);
bool same(const QString& a, const QString& b);
// Ascending order of the canonical forms, scalar by scalar.
bool lessThan(const QString& a, const QString& b);
}  // namespace PlaylistName

struct CanonicalNameOrder {
    bool operator()(const QString& a, const QString& b) const;  // both already canonical
};

// The library: playlist name to ordered tracks. A value type; each name keeps
// the spelling it was first stored with.
class Playlists {
public:
    bool isEmpty() const { return m_entries.empty(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool contains(const QString& name) const;
    // Tracks of the playlist, or null when there is none of that name.
    const TrackList* find(const QString& name) const;
    TrackList* find(const QString& name);
    // Tracks of the playlist; empty when there is none of that name.
    TrackList tracks(const QString& name) const;
    // The spelling the library holds for this name; the name itself when
    // there is no playlist of that name.
    QString storedName(const QString& name) const;
    // Adds or replaces; an existing entry keeps its spelling.
    void insert(const QString& name, TrackList tracks);
    bool remove(const QString& name);
    // Names in the map's own order (which is the sorted order).
    QStringList names() const;

    bool operator==(const Playlists& other) const;

private:
    struct Entry {
        QString name;
        TrackList tracks;
        bool operator==(const Entry&) const = default;
    };
    std::map<QString, Entry, CanonicalNameOrder> m_entries;  // keyed by canonical name
};

// A set of playlist names under the same equivalence.
class PlaylistNameSet {
public:
    bool contains(const QString& name) const;
    void insert(const QString& name);
    bool remove(const QString& name);
    void clear() { m_names.clear(); }
    bool isEmpty() const { return m_names.empty(); }
    qsizetype size() const { return qsizetype(m_names.size()); }
    QStringList names() const;
    bool operator==(const PlaylistNameSet&) const = default;

private:
    std::map<QString, QString, CanonicalNameOrder> m_names;  // canonical -> spelling
};
