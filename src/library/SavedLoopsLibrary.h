#pragma once

#include "state/SavedLoops.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class ContentState;

// Loops saved per track: stored under "savedLoops" as JSON, an object whose
// members are track URLs and whose values are arrays of [start, end] pairs in
// seconds; the operations the keys and the bar's menu run on them.
namespace SavedLoopsLibrary {

inline const QString storedKey = QStringLiteral("savedLoops");
// A saved loop shorter than this in its track is not recalled.
constexpr double shortestRecalledSeconds = 0.01;
// A value under the key that cannot be read is kept under "unreadableSavedLoops/<n>".
inline const QString unreadableGroup = QStringLiteral("unreadableSavedLoops");

QByteArray encode(const SavedLoops& loops);
// None (and why) when the bytes are not of that shape. A track stored more
// than once keeps the loops of all (the same loop once), named in
// tracksJoined; it keeps its first SavedLoops::perTrack loops, and those with
// more are named in tracksCut.
std::optional<SavedLoops> decode(const QByteArray& bytes, QString* error, QStringList* tracksCut = nullptr,
                                 QStringList* tracksJoined = nullptr);

// Reads the saved loops at start. An unreadable value is kept aside (never
// written over) and the window starts with none; one line says so.
void load(ContentState& state);

// The loop in force, saved for the current track as the next number.
bool saveCurrentLoop(ContentState& state);
// The number (from 1) the loop in force is saved under for the current
// track; 0 when it is not saved, or there is no loop.
int numberOfLoopInForce(const ContentState& state);
// Saved loop number (from 1) of the current track: becomes the loop (a new
// one, its passes counted afresh), the position goes to its start, and it
// plays. A loop that lies past the end of the track (the file changed) is
// refused; one that reaches past it ends at the track's end.
bool recall(ContentState& state, int number);
// Removes saved loop number (from 1) of the current track.
bool remove(ContentState& state, int number);
// Removes the saved loop that is the loop in force, if there is one.
bool removeCurrentLoop(ContentState& state);

// The current track's key, or empty when none is loaded.
QString currentTrackKey(const ContentState& state);

}  // namespace SavedLoopsLibrary
