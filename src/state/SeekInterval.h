#pragma once

#include <QString>

#include <array>

class ContentState;

// The steps the user can choose for the arrow keys and the wheel, in seconds,
// in the order the menu offers them.
inline constexpr std::array<double, 4> seekIntervalChoicesSeconds{1, 2, 5, 10};

// The seek interval as the interface shows it: whole seconds, truncated toward
// zero, and "s" ("2s" for 2 and for 2.5, "-1s" for -1). A value no 64-bit
// integer holds can only come from a settings file edited by hand; it reads
// "∞s" or "-∞s" (any seek by it runs to an end of the track), and NaN "?s".
QString seekIntervalLabel(double seconds);

// Makes seconds the seek step, stores it as the step for the next start and
// logs "Seek interval set to: " with its label. All of it happens again when
// the value is unchanged.
void setSeekInterval(ContentState& state, double seconds);
