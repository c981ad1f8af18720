#pragma once

#include <QString>
#include <Qt>

class QKeyEvent;
class QWheelEvent;

// What a key-down or a wheel event asks of the player.
enum class KeyCommand {
    SeekForward,
    SeekBackward,
    TogglePlayPause,
    CycleLoop,
    // Drilling, on keys the table above leaves free.
    SetLoopStart,
    SetLoopEnd,
    NudgeLoopStartEarlier,
    NudgeLoopStartLater,
    NudgeLoopEndEarlier,
    NudgeLoopEndLater,
    SaveLoop,
    RecallLoop,
    RemoveLoop,
    PreviousPhrase,
    NextPhrase,
    LoopPhrase,
    Slower,
    Faster,
    NormalSpeed,
    None,
};
enum class WheelCommand { SeekForward, SeekBackward, None };

// A command with what it needs of the key: the saved loop's number, and
// whether a nudge is the fine one (with Control).
struct KeyAction {
    KeyCommand command = KeyCommand::None;
    int number = 0;
    bool fine = false;
    bool operator==(const KeyAction&) const = default;
};

// The key table, tested in this order, the first match deciding: the right
// and left arrows (by logical key, so any layout and the keypad arrows work),
// then the characters compared as whole strings: " " plays or pauses, "b" and
// "ㅠ" (what the same key yields on a Korean layout) cycle the loop.
// Modifiers are not examined: Shift-B delivers "B" and is no command.
KeyCommand keyCommandFor(int qtKey, const QString& characters);
KeyCommand keyCommandFor(const QKeyEvent& event);

// The whole table: the keys above first, then the drilling keys, which the
// same physical keys reach on a Korean layout too:
//   [ / ]          loop start / end at the play head
//   , / .          loop start 50 ms earlier / later (with Control: 10 ms)
//   ; / '          loop end 50 ms earlier / later (with Control: 10 ms)
//   s (ㄴ)         save the loop for this track
//   1 ... 9        recall saved loop 1 ... 9
//   Delete, Backspace  remove the saved loop that is the loop in force
//   p (ㅔ) / n (ㅜ)  previous / next phrase
//   l (ㅣ)         loop the phrase under the play head
//   - / = (or +)   slower / faster by 0.05
//   0              back to the normal speed
KeyAction keyActionFor(int qtKey, const QString& characters, Qt::KeyboardModifiers modifiers);
KeyAction keyActionFor(const QKeyEvent& event);

// Whether a held key's repeats repeat the command. Seeks, nudges, steps and
// speed steps go on while the key is held, as do Space and the loop key, which
// have always taken every key-down; setting, saving, recalling, removing,
// looping a phrase and the normal speed act once per press.
bool repeatsWhileHeld(KeyCommand command);

// The first table's commands: seeks, play / pause and the loop key, which act
// whatever holds the focus. The drilling keys leave an open sheet alone.
bool actsBehindSheets(KeyCommand command);

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
