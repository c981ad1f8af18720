#pragma once

#include <QList>
#include <QtGlobal>

#include <chrono>

class ContentState;

// The transport commands as every control gives them: the window's buttons
// and the desktop's media controls (media keys, the panel's player widget)
// both come here, so they cannot come to mean different things.
namespace Transport {

// Stops playback and clears the loop; the next loop key starts a new loop.
void stop(ContentState& state);

// Moves the play head to seconds, clamped to the loaded track, and publishes
// the new position at once (not at the next tick). False, and nothing
// happens, when no track with a positive duration is loaded.
bool seekTo(ContentState& state, double seconds);

// Whether the current playlist has a track after (before) the loaded one.
bool canGoToNextTrack(const ContentState& state);
bool canGoToPreviousTrack(const ContentState& state);

// Steps to the next (previous) track of the current playlist: it plays when
// playback was running, else it is only loaded, paused at its start. Nothing
// happens at either end of the list or when no track of the list is loaded.
void goToNextTrack(ContentState& state);
void goToPreviousTrack(ContentState& state);

// Plays the entry at from in the engine's playlist, or the first after it
// that loads, stepping over the others as goToNextTrack does. Not a step:
// when none loads, the track loaded plays on as it was, its loop kept, and
// Next and Previous go on from it.
void playFirstLoadable(ContentState& state, qint64 from);
// Plays the first of these entries that loads, trying them in this order and
// no others; when none loads, as playFirstLoadable.
void playFirstLoadableOf(ContentState& state, const QList<qint64>& entries);

// Test hook: how long one step may spend stepping over entries that cannot
// load before it gives up (the next step goes on from there).
void setSteppingBudgetForTesting(std::chrono::milliseconds budget);

}  // namespace Transport
