#include "input/CommandHandlers.h"

#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "input/KeyRepeats.h"
#include "input/TextEntryFocus.h"
#include "library/SavedLoopsLibrary.h"
#include "state/ContentState.h"
#include "state/PhraseNavigation.h"
#include "state/SpeedOption.h"
#include "state/Transport.h"

#include <QKeyEvent>
#include <QWheelEvent>

CommandHandlers::CommandHandlers(ContentState& state)
    : m_state(state)
{
}

bool CommandHandlers::hasSeekableTrack() const
{
    const FilePlayer* player = m_state.audioPlayer().player();
    return player && player->duration() > 0;  // a NaN duration fails too
}

bool CommandHandlers::seekBy(double deltaSeconds)
{
    // From the published position, which is what the user sees; the loop is
    // ignored here and enforced by the next tick.
    return Transport::seekTo(m_state, m_state.audioPlayer().currentTime() + deltaSeconds);
}

bool CommandHandlers::performKeyCommand(const KeyAction& action, LoopLogging logging, bool repeat)
{
    AudioPlayer& player = m_state.audioPlayer();
    const auto setIsSettingLoop = [this](bool value) { m_state.setIsSettingLoop(value); };
    const double nudge = action.fine ? LoopEdit::fineNudgeSeconds : LoopEdit::nudgeSeconds;
    const LoopEdit::Refusal refusal = repeat ? LoopEdit::Refusal::Unsaid : LoopEdit::Refusal::Said;
    switch (action.command) {
    case KeyCommand::SeekForward:
        return seekBy(+m_state.seekInterval());
    case KeyCommand::SeekBackward:
        return seekBy(-m_state.seekInterval());
    case KeyCommand::TogglePlayPause:
        m_state.audioPlayer().togglePlayPause();
        return true;
    case KeyCommand::CycleLoop:
        cycleLoop(player, m_state.isSettingLoop(), setIsSettingLoop, logging);
        return true;
    // The drilling keys are taken whether or not they change anything, like
    // the loop key: a learner pressing one never wants it to go elsewhere.
    case KeyCommand::SetLoopStart:
        LoopEdit::setStartHere(player, setIsSettingLoop);
        return true;
    case KeyCommand::SetLoopEnd:
        LoopEdit::setEndHere(player, setIsSettingLoop);
        return true;
    case KeyCommand::NudgeLoopStartEarlier:
        LoopEdit::nudgeStart(player, -nudge, refusal);
        return true;
    case KeyCommand::NudgeLoopStartLater:
        LoopEdit::nudgeStart(player, +nudge, refusal);
        return true;
    case KeyCommand::NudgeLoopEndEarlier:
        LoopEdit::nudgeEnd(player, -nudge, refusal);
        return true;
    case KeyCommand::NudgeLoopEndLater:
        LoopEdit::nudgeEnd(player, +nudge, refusal);
        return true;
    case KeyCommand::SaveLoop:
        SavedLoopsLibrary::saveCurrentLoop(m_state);
        return true;
    case KeyCommand::RecallLoop:
        SavedLoopsLibrary::recall(m_state, action.number);
        return true;
    case KeyCommand::RemoveLoop:
        SavedLoopsLibrary::removeCurrentLoop(m_state);
        return true;
    case KeyCommand::PreviousPhrase:
        PhraseNavigation::previous(m_state, refusal);
        return true;
    case KeyCommand::NextPhrase:
        PhraseNavigation::next(m_state, refusal);
        return true;
    case KeyCommand::LoopPhrase:
        PhraseNavigation::loopHere(m_state);
        return true;
    case KeyCommand::Slower:
        SpeedOption::set(m_state, player.speed() - SpeedOption::step, refusal);
        return true;
    case KeyCommand::Faster:
        SpeedOption::set(m_state, player.speed() + SpeedOption::step, refusal);
        return true;
    case KeyCommand::NormalSpeed:
        SpeedOption::set(m_state, 1.0);
        return true;
    case KeyCommand::None:
        break;
    }
    return false;
}

bool CommandHandlers::monitorClaims(KeyCommand command) const
{
    switch (command) {
    case KeyCommand::SeekForward:
    case KeyCommand::SeekBackward:
        return hasSeekableTrack();
    case KeyCommand::None:
        return false;
    default:
        return true;
    }
}

void CommandHandlers::performWheelCommand(WheelCommand command)
{
    switch (command) {
    case WheelCommand::SeekForward:
        seekBy(+m_state.seekInterval());
        break;
    case WheelCommand::SeekBackward:
        seekBy(-m_state.seekInterval());
        break;
    case WheelCommand::None:
        break;
    }
}

void CommandHandlers::handleKeyPress(const QKeyEvent* event)
{
    const QString characters = event->text();
    Log::line(QStringLiteral("Key pressed: keyCode = %1, characters = %2")
                  .arg(QString::number(event->nativeScanCode()), characters));
    const KeyAction action = keyActionFor(*event);
    if (!KeyRepeats::isRepeat(*event) || repeatsWhileHeld(action.command))
        performKeyCommand(action, LoopLogging::WithLogLines, KeyRepeats::isRepeat(*event));
}

void CommandHandlers::handleWheel(double deltaY)
{
    performWheelCommand(wheelCommandFor(deltaY));
}

MonitorVerdict CommandHandlers::handleMonitoredEvent(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        if (keysGoToTextEntry(receiver) || keysGoToDialogWindow(receiver))
            return MonitorVerdict::LetThrough;
        const auto& key = *static_cast<QKeyEvent*>(event);
        const KeyAction action = keyActionFor(key);
        // Backspace on a sheet's button must not remove a saved loop behind it.
        if (!actsBehindSheets(action.command) && keysGoToSheet(receiver))
            return MonitorVerdict::LetThrough;
        // Qt offers a key to the shortcuts (as ShortcutOverride) before it
        // delivers it as a key press. Claiming the override for the keys we
        // take keeps any shortcut from consuming them first; the command runs
        // once, on the press. A held key's repeats of a one-off command are
        // taken too, and do nothing.
        const bool oneOffRepeat = KeyRepeats::isRepeat(key) && !repeatsWhileHeld(action.command);
        const bool acted = event->type() == QEvent::ShortcutOverride || oneOffRepeat
            ? monitorClaims(action.command)
            : performKeyCommand(action, LoopLogging::Silent, KeyRepeats::isRepeat(key));
        if (!acted)
            return MonitorVerdict::LetThrough;
        event->accept();
        return MonitorVerdict::Swallow;
    }
    case QEvent::Wheel: {
        // A control that turns with the wheel (the speed) keeps its own.
        const auto& wheel = *static_cast<QWheelEvent*>(event);
        if (!hasSeekableTrack() || wheelGoesToControl(receiver, wheel.globalPosition())
            || wheelGoesToDialogWindow(receiver, wheel.globalPosition()))
            return MonitorVerdict::LetThrough;
        const WheelCommand command = wheelCommandFor(verticalWheelDelta(wheel));
        if (command == WheelCommand::None)
            return MonitorVerdict::LetThrough;
        performWheelCommand(command);
        event->accept();
        return MonitorVerdict::Swallow;
    }
    default:
        return MonitorVerdict::LetThrough;
    }
}
