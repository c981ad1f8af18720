#pragma once

#include <QString>

class QKeyEvent;
class QWheelEvent;

// What a key-down or a wheel event asks of the player.
enum class KeyCommand { SeekForward, SeekBackward, TogglePlayPause, CycleLoop, None };
enum class WheelCommand { SeekForward, SeekBackward, None };

// The key table, tested in this order, the first match deciding: the right
// and left arrows (by logical key, so any layout and the keypad arrows work),
// then the characters compared as whole strings: " " plays or pauses, "b" and
// "ㅠ" (what the same key yields on a Korean layout) cycle the loop.
// Modifiers are not examined: Shift-B delivers "B" and is no command.
KeyCommand keyCommandFor(int qtKey, const QString& characters);
KeyCommand keyCommandFor(const QKeyEvent& event);

// Only the sign of the vertical delta counts: every wheel event seeks one whole
// interval. Zero (a horizontal-only scroll) and NaN are no command.
WheelCommand wheelCommandFor(double deltaY);

// The vertical scroll of a wheel event; positive means away from the user and
// seeks forward. Mice report angles; some touchpads report only pixels.
double verticalWheelDelta(const QWheelEvent& event);

// Shift, Control, Alt, Meta and the lock keys. Qt reports them as key presses
// of their own; they are not key-downs a learner means as a command, and
// logging them would bury the line of the key that follows.
bool isModifierOnlyKey(int qtKey);
