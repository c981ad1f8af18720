#include "engine/PhraseMap.h"

#include <algorithm>
#include <cmath>

PhraseMap::PhraseMap(std::vector<float> levelsDecibels, double durationSeconds, std::vector<Phrase> phrases)
    : m_levelsDecibels(std::move(levelsDecibels))
    , m_durationSeconds(durationSeconds)
    , m_phrases(std::move(phrases))
{
}

namespace {

// Index of the first phrase that has not ended by seconds.
std::size_t firstNotEndedBy(const std::vector<Phrase>& phrases, double seconds)
{
    return std::size_t(std::partition_point(phrases.begin(), phrases.end(),
                                            [seconds](const Phrase& phrase) { return phrase.endSeconds <= seconds; })
                       - phrases.begin());
}

}  // namespace

std::optional<int> PhraseMap::phraseAtOrAfter(double seconds) const
{
    const std::size_t index = firstNotEndedBy(m_phrases, seconds);
    return index < m_phrases.size() ? std::optional<int>(int(index)) : std::nullopt;
}

std::optional<int> PhraseMap::nextPhrase(double seconds) const
{
    const double after = seconds + atStartToleranceSeconds;
    const auto next = std::partition_point(m_phrases.begin(), m_phrases.end(),
                                           [after](const Phrase& phrase) { return phrase.startSeconds <= after; });
    return next != m_phrases.end() ? std::optional<int>(int(next - m_phrases.begin())) : std::nullopt;
}

std::optional<int> PhraseMap::phraseAfterLoop(double startSeconds, double endSeconds) const
{
    const std::optional<int> atEnd = phraseAtOrAfter(endSeconds);
    if (!atEnd)
        return std::nullopt;
    const Phrase& ending = phrase(*atEnd);
    if (ending.startSeconds >= endSeconds - atStartToleranceSeconds)
        return atEnd;  // left out whole
    const bool own = startSeconds >= loopBounds(*atEnd).startSeconds - atStartToleranceSeconds
        || endSeconds - ending.startSeconds >= (ending.endSeconds - ending.startSeconds) / 2;
    if (!own)
        return atEnd;  // only reached into
    return *atEnd + 1 < phraseCount() ? std::optional<int>(*atEnd + 1) : std::nullopt;
}

std::optional<int> PhraseMap::phraseBeforeLoop(double startSeconds, double endSeconds) const
{
    if (const std::optional<int> atStart = phraseAtOrAfter(startSeconds)) {
        const Phrase& starting = phrase(*atStart);
        const double held = std::min(endSeconds, starting.endSeconds) - startSeconds;
        if (starting.startSeconds < startSeconds - atStartToleranceSeconds
            && held < (starting.endSeconds - starting.startSeconds) / 2)
            return atStart;  // the loop holds only its end, or a piece inside it
    }
    return previousPhrase(startSeconds);
}

std::optional<int> PhraseMap::previousPhrase(double seconds) const
{
    const std::size_t index = firstNotEndedBy(m_phrases, seconds);
    return index > 0 ? std::optional<int>(int(index) - 1) : std::nullopt;
}

std::optional<int> PhraseMap::phraseUnder(double seconds) const
{
    if (m_phrases.empty())
        return std::nullopt;
    const std::size_t index = firstNotEndedBy(m_phrases, seconds);
    // A phrase's lead-in is its own: a step to a phrase leaves the play head
    // there, and the learner means the phrase just stepped to.
    if (index < m_phrases.size()) {
        const double startsAt = std::min(m_phrases[index].startSeconds - atStartToleranceSeconds,
                                         loopBounds(int(index)).startSeconds - 1e-6);
        if (startsAt <= seconds)
            return int(index);
    }
    return index > 0 ? int(index) - 1 : 0;
}

PhraseLoop PhraseMap::loopBounds(int index, double marginSeconds) const
{
    const Phrase& phrase = m_phrases[std::size_t(index)];
    const bool hasBefore = index > 0;
    const bool hasAfter = index + 1 < phraseCount();
    // A pause shared with a neighbour is split down the middle; the track's
    // own lead-in and tail belong to this phrase alone.
    const double pauseBefore = phrase.startSeconds - (hasBefore ? m_phrases[std::size_t(index) - 1].endSeconds : 0.0);
    const double pauseAfter =
        (hasAfter ? m_phrases[std::size_t(index) + 1].startSeconds : m_durationSeconds) - phrase.endSeconds;
    const double lead = std::clamp(std::min(marginSeconds, hasBefore ? pauseBefore / 2 : pauseBefore), 0.0, marginSeconds);
    const double tail = std::clamp(std::min(marginSeconds, hasAfter ? pauseAfter / 2 : pauseAfter), 0.0, marginSeconds);
    // To the millisecond: the levels place a phrase to a hop at best, and the
    // sums of hops carry binary noise into the lines that tell a loop
    // ("15.090000000000002").
    const auto toMillisecond = [](double seconds) { return std::max(0.0, std::round(seconds * 1000) / 1000); };
    return {toMillisecond(phrase.startSeconds - lead), std::min(toMillisecond(phrase.endSeconds + tail), m_durationSeconds)};
}

std::optional<PhraseLoop> PhraseMap::loopAround(double seconds, double marginSeconds) const
{
    const std::optional<int> index = phraseUnder(seconds);
    return index ? std::optional<PhraseLoop>(loopBounds(*index, marginSeconds)) : std::nullopt;
}
