#pragma once

#include <QString>

#include <functional>

class AudioPlayer;

enum class LoopLogging { Silent, WithLogLines };

// One press of the loop key: sets the loop start at the published position,
// then the end, then clears. The window's loop-setting flag is read from
// isSettingLoop and written through setIsSettingLoop.
void cycleLoop(AudioPlayer& player, bool isSettingLoop, const std::function<void(bool)>& setIsSettingLoop,
               LoopLogging logging);

// Setting and moving one point of the loop at a time. Each writes one line
// with its outcome (also through the window-wide route: these are new keys,
// and a learner nudging by ear wants to read where a point went).
namespace LoopEdit {

constexpr double nudgeSeconds = 0.05;
constexpr double fineNudgeSeconds = 0.01;
// No nudge makes a loop shorter than this.
constexpr double shortestLoopSeconds = 0.05;

// The start at the published position. Refused, with no change, at or after
// an end that is set, or with no end, less than shortestLoopSeconds before
// the track's end. Returns whether it changed anything.
bool setStartHere(AudioPlayer& player, const std::function<void(bool)>& setIsSettingLoop);
// The end at the published position. Refused at or before the start; with no
// start yet, the loop starts at the beginning of the track.
bool setEndHere(AudioPlayer& player, const std::function<void(bool)>& setIsSettingLoop);
// Whether a refusal writes its line: a key's press does; its repeats (the
// key held against a limit) and a handle dragged against one would write one
// at every repeat or move of the pointer.
enum class Refusal { Said, Unsaid };
// Writes a refusal's line, unless it is to go unsaid.
void say(Refusal refusal, const QString& line);
// Moves a point that is set by deltaSeconds (to the millisecond), within the
// track and keeping the loop at least shortestLoopSeconds long.
bool nudgeStart(AudioPlayer& player, double deltaSeconds, Refusal refusal = Refusal::Said);
bool nudgeEnd(AudioPlayer& player, double deltaSeconds, Refusal refusal = Refusal::Said);

}  // namespace LoopEdit
