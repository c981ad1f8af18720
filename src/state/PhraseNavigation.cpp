#include "state/PhraseNavigation.h"

#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "state/ContentState.h"

#include <cmath>

namespace PhraseNavigation {
namespace {

// The map, if there is one to use; else a line that says why not.
const PhraseMap* usableMap(const ContentState& state, LoopEdit::Refusal refusal = LoopEdit::Refusal::Said)
{
    if (!state.audioPlayer().player()) {
        LoopEdit::say(refusal, QStringLiteral("No phrases: no track is loaded"));
        return nullptr;
    }
    if (!state.phraseMap()) {
        LoopEdit::say(refusal, state.phraseMapProgress() >= 0 ? QStringLiteral("Phrases are still being found")
                                                              : QStringLiteral("No phrase map for this track"));
        return nullptr;
    }
    if (state.phraseMap()->phraseCount() == 0) {
        LoopEdit::say(refusal, QStringLiteral("No phrases in this track"));
        return nullptr;
    }
    return &*state.phraseMap();
}

QString ofAll(const PhraseMap& map, int index)
{
    return QString::number(index + 1) + QStringLiteral(" of ") + QString::number(map.phraseCount());
}

// A play head this close to a loop's start is at it.
constexpr double samePlaceSeconds = 0.001;

void playFrom(AudioPlayer& player, double seconds)
{
    player.seek(seconds);
    player.setCurrentTime(seconds);
}

// The phrase to go to, and whether to loop it.
bool goTo(ContentState& state, const PhraseMap& map, int index, const QString& what)
{
    AudioPlayer& player = state.audioPlayer();
    const PhraseLoop bounds = map.loopBounds(index);
    if (player.hasLoop()) {
        player.setLoop(bounds.startSeconds, bounds.endSeconds);
        state.setIsSettingLoop(true);
        Log::line(QStringLiteral("Loop moved to phrase %1: %2 to %3")
                      .arg(ofAll(map, index), Log::formatDouble(bounds.startSeconds), Log::formatDouble(bounds.endSeconds)));
    } else {
        Log::line(what + ofAll(map, index));
    }
    playFrom(player, bounds.startSeconds);
    return true;
}

}  // namespace

bool next(ContentState& state, LoopEdit::Refusal refusal)
{
    const PhraseMap* map = usableMap(state, refusal);
    if (!map)
        return false;
    const AudioPlayer& player = state.audioPlayer();
    std::optional<int> index;
    if (player.hasLoop()) {
        index = map->phraseAfterLoop(*player.loopStart(), *player.loopEnd());
    } else {
        // A play head already in a phrase's lead-in (where a step leaves it)
        // is at that phrase: the next one is the one after.
        const double at = player.currentTime();
        index = map->phraseAtOrAfter(at);
        if (index && at >= map->loopBounds(*index).startSeconds - 1e-6)
            index = *index + 1 < map->phraseCount() ? std::optional<int>(*index + 1) : std::nullopt;
    }
    if (!index) {
        LoopEdit::say(refusal, QStringLiteral("No phrase after this one"));
        return false;
    }
    return goTo(state, *map, *index, QStringLiteral("Next phrase: "));
}

bool previous(ContentState& state, LoopEdit::Refusal refusal)
{
    const PhraseMap* map = usableMap(state, refusal);
    if (!map)
        return false;
    const AudioPlayer& player = state.audioPlayer();
    std::optional<int> index;
    if (player.hasLoop()) {
        // Before a loop over several phrases, the one before all of them.
        index = map->phraseBeforeLoop(*player.loopStart(), *player.loopEnd());
    } else {
        const double at = player.currentTime();
        index = map->previousPhrase(at);
        // Well into a phrase, "previous" means its own start, as with tracks.
        const std::optional<int> under = map->phraseUnder(at);
        if (under && at >= map->phrase(*under).startSeconds + restartWithinSeconds
            && at <= map->phrase(*under).endSeconds)
            index = under;
    }
    if (!index) {
        LoopEdit::say(refusal, QStringLiteral("No phrase before this one"));
        return false;
    }
    return goTo(state, *map, *index, QStringLiteral("Previous phrase: "));
}

bool loopHere(ContentState& state)
{
    const PhraseMap* map = usableMap(state);
    if (!map)
        return false;
    AudioPlayer& player = state.audioPlayer();
    const std::optional<int> index = map->phraseUnder(player.currentTime());
    if (!index)
        return false;
    const PhraseLoop bounds = map->loopBounds(*index);
    player.setLoop(bounds.startSeconds, bounds.endSeconds);
    state.setIsSettingLoop(true);
    Log::line(QStringLiteral("Loop set to phrase %1: %2 to %3")
                  .arg(ofAll(*map, *index), Log::formatDouble(bounds.startSeconds), Log::formatDouble(bounds.endSeconds)));
    // The phrase is heard from its start: the rest of it, from a play head
    // partway in, would count as the first of the drill's passes, and so
    // would a lesson's intro, from a play head before the first phrase.
    if (std::abs(player.currentTime() - bounds.startSeconds) > samePlaceSeconds)
        playFrom(player, bounds.startSeconds);
    // A phrase looped is a phrase to hear, as a recalled loop is.
    if (!player.isPlaying())
        player.togglePlayPause();
    return true;
}

}  // namespace PhraseNavigation
