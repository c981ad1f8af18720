#pragma once

#include "engine/AudioPlayer.h"

#include <QString>

#include <array>
#include <vector>

class ContentState;
class DefaultsStore;

// How a loop is drilled, as the learner chooses it: passes per loop and the
// pause between passes (for repeating aloud). Stored under keys of their own;
// a stored value that is not one of the choices counts as never chosen.
namespace DrillOptions {

inline const QString passesKey = QStringLiteral("drillPasses");
inline const QString pauseKey = QStringLiteral("drillPause");
inline const QString thenKey = QStringLiteral("drillThen");

// In the order the menu offers them; 0 is endless, the default.
inline constexpr std::array<int, 6> passChoices{0, 1, 2, 3, 5, 10};
std::vector<PassPause> pauseChoices();

QString passesLabel(int passes);         // "∞", "1", "2", ...
QString pauseLabel(const PassPause& pause);  // "Off", "1 s", "2 s", "3 s", "Loop"

// What the store holds, or the defaults.
DrillSettings stored(const DefaultsStore& store);
// Hands-free drilling: stored as "next" (else the loop ends after its passes).
bool storedThenNextPhrase(const DefaultsStore& store);

// Makes the choice, stores it for the next start and logs one line.
void setPasses(ContentState& state, int passes);
void setPause(ContentState& state, const PassPause& pause);
void setThenNextPhrase(ContentState& state, bool nextPhrase);

}  // namespace DrillOptions
