#include "state/Transport.h"

#include "engine/AudioPlayer.h"
#include "engine/DecodeStream.h"
#include "state/ContentState.h"

#include <QElapsedTimer>

#include <optional>
#include <ranges>

namespace {

// One open's time in all for stepping over entries that cannot load.
std::chrono::milliseconds steppingBudget = DecodeStream::openDeadline;

std::optional<qint64> steppedIndex(const AudioPlayer& player, int step)
{
    const std::optional<qint64> current = player.currentTrackIndex();
    if (!current)
        return std::nullopt;
    // Past an entry that failed to load on the way, not back to it again.
    const std::optional<qint64> failed = player.stepFailedAt();
    const qint64 from = failed && (*failed - *current) * step > 0 ? *failed : *current;
    const qint64 target = from + step;
    if (target < 0 || target >= player.playlist().size())
        return std::nullopt;
    return target;
}

// Plays (or cues) the first of targets, entries of the engine's playlist in
// the order they are tried, that loads. An entry that cannot be loaded (its
// file gone) is stepped over, each saying why: else the next step, from the
// media keys too, would meet it again and again and never get past it. Files
// that are slow to fail (a struggling network share) get one open's time
// between them, not one each, so the window is not held up for long; the
// next step goes on past the last one tried (when stepping: a step goes on
// from the loaded track, and other loads leave the steps alone).
template <std::ranges::input_range Targets>
void loadFirstLoadableOf(ContentState& state, Targets&& targets, bool play, bool stepping)
{
    AudioPlayer& player = state.audioPlayer();
    const qint64 entries = player.playlist().size();
    // Cued paused or stopped as the player was before any load was tried
    // (a failed one stops what was loaded).
    const bool stopped = player.isStopped();
    QElapsedTimer trying;
    trying.start();
    for (const qint64 target : targets) {
        if (target < 0 || target >= entries)
            continue;
        // Judged by the load itself: a failed one may leave in hand an
        // entry that is itself one of the targets (a file opened again that
        // is playing, and now unreadable).
        const quint64 loadsBefore = player.loadCount();
        if (play)
            player.playTrack(target, stepping ? AudioPlayer::OnFailure::Stop : AudioPlayer::OnFailure::KeepTrack);
        else
            player.cueTrack(target, stopped);
        if (player.loadCount() != loadsBefore && player.currentTrackIndex() == target)
            return;
        if (stepping)
            player.noteStepFailedAt(target);
        if (trying.elapsed() >= steppingBudget.count())
            return;
    }
}

// The entry at from, or the first beyond it that loads, stepping by step (1
// or -1).
void loadFirstLoadable(ContentState& state, qint64 from, int step, bool play, bool stepping)
{
    const qint64 entries = state.audioPlayer().playlist().size();
    if (from < 0 || from >= entries)
        return;
    if (step > 0)
        loadFirstLoadableOf(state, std::views::iota(from, entries), play, stepping);
    else
        loadFirstLoadableOf(state, std::views::iota(qint64(0), from + 1) | std::views::reverse, play, stepping);
}

void goTo(ContentState& state, int step)
{
    AudioPlayer& player = state.audioPlayer();
    if (const std::optional<qint64> target = steppedIndex(player, step))
        loadFirstLoadable(state, *target, step, player.isPlaying(), true);
}

}  // namespace

namespace Transport {

void stop(ContentState& state)
{
    state.audioPlayer().stop();
    state.setIsSettingLoop(false);
}

bool seekTo(ContentState& state, double seconds)
{
    AudioPlayer& engine = state.audioPlayer();
    const FilePlayer* loaded = engine.player();
    if (!loaded || !(loaded->duration() > 0))  // a NaN duration fails too
        return false;
    double target = seconds;
    if (loaded->duration() < target)
        target = loaded->duration();
    if (!(target >= 0))  // negative or NaN
        target = 0;
    engine.seek(target);
    engine.setCurrentTime(target);
    return true;
}

bool canGoToNextTrack(const ContentState& state)
{
    return steppedIndex(state.audioPlayer(), +1).has_value();
}

bool canGoToPreviousTrack(const ContentState& state)
{
    return steppedIndex(state.audioPlayer(), -1).has_value();
}

void goToNextTrack(ContentState& state)
{
    goTo(state, +1);
}

void goToPreviousTrack(ContentState& state)
{
    goTo(state, -1);
}

void playFirstLoadable(ContentState& state, qint64 from)
{
    loadFirstLoadable(state, from, +1, true, false);
}

void playFirstLoadableOf(ContentState& state, const QList<qint64>& entries)
{
    loadFirstLoadableOf(state, entries, true, false);
}

void setSteppingBudgetForTesting(std::chrono::milliseconds budget)
{
    steppingBudget = budget;
}

}  // namespace Transport
