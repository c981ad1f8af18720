#pragma once

#include <QList>
#include <QMap>
#include <QString>

// The loops a learner saved, per track: start and end in seconds, in the
// order they were saved (the first is recalled with 1). Keyed by the track's
// URL as the library stores it, so they outlive any playlist the track is in.
struct SavedLoop {
    double startSeconds = 0;
    double endSeconds = 0;
    bool operator==(const SavedLoop&) const = default;
    // The same loop to the learner: both ends within half a millisecond. A
    // phrase's bounds and the play head's carry digits that a nudge (in whole
    // milliseconds) rounds away, so a loop nudged out and back is still it.
    bool matches(const SavedLoop& other) const;
};

class SavedLoops {
public:
    // The number keys recall this many.
    static constexpr int perTrack = 9;

    QList<SavedLoop> of(const QString& track) const { return m_loops.value(track); }
    bool isEmpty() const { return m_loops.isEmpty(); }
    QStringList tracks() const { return m_loops.keys(); }

    // Adds at the end; false when it is saved already or the track has its fill.
    bool add(const QString& track, const SavedLoop& loop);
    // Removes the one at index (0-based); false when there is none.
    bool remove(const QString& track, qsizetype index);
    void set(const QString& track, QList<SavedLoop> loops);

    bool operator==(const SavedLoops&) const = default;

private:
    QMap<QString, QList<SavedLoop>> m_loops;  // no empty lists
};
