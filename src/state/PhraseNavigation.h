#pragma once

#include "engine/LoopControl.h"

class ContentState;

// Moving through a lesson phrase by phrase, on the current track's phrase
// map. Each writes one line; without a map (still being made, or a track
// without phrases) they do nothing but say why.
namespace PhraseNavigation {

// A press this far into a phrase goes back to its own start, not the one before.
constexpr double restartWithinSeconds = 1.0;

// Without a loop: the play head goes to a little before the next (or
// previous) phrase's first sound. With a loop: the loop moves to that phrase
// (a new loop: its passes are counted afresh) and play goes to its start.
// A refusal (no phrase there, no map yet) is said unless asked not to: a
// held key's repeats say it once, on the press.
bool next(ContentState& state, LoopEdit::Refusal refusal = LoopEdit::Refusal::Said);
bool previous(ContentState& state, LoopEdit::Refusal refusal = LoopEdit::Refusal::Said);
// Loops the phrase under the play head (in its lead-in, where a step leaves
// the play head, that phrase; in the rest of a pause, the one just heard),
// from inside the pause before it to inside the pause after it; a play head
// past the loop's start goes back to it.
bool loopHere(ContentState& state);

}  // namespace PhraseNavigation
