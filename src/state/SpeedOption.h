#pragma once

#include "engine/LoopControl.h"

#include <QString>

class ContentState;
class DefaultsStore;

// The playback speed as the learner chooses it: kept under a key of its own
// across starts. A stored value that is not a step within the range (damaged,
// or written by hand) counts as never chosen: 1.0, and the value is left in
// the file as it was until a new choice replaces it.
namespace SpeedOption {

inline const QString key = QStringLiteral("playbackSpeed");
constexpr double step = 0.05;

// What the store holds, or 1.0; with a line when a value was not taken.
double stored(const DefaultsStore& store);
// "1.0×", "0.75×".
QString label(double speed);
// Makes the choice (rounded to a step, within the range), stores it and logs
// one line. A step past either end changes nothing, and says so unless asked
// not to (a held key's repeats there).
void set(ContentState& state, double speed, LoopEdit::Refusal refusal = LoopEdit::Refusal::Said);

}  // namespace SpeedOption
