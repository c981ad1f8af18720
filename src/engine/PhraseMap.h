#pragma once

#include <optional>
#include <vector>

// Where one phrase's sound begins and ends, in seconds on the track's
// timeline (0 is the first real sample, as DecodeStream counts).
struct Phrase {
    double startSeconds = 0;
    double endSeconds = 0;

    double lengthSeconds() const { return endSeconds - startSeconds; }
    bool operator==(const Phrase&) const = default;
};

// What "loop this phrase" plays: [startSeconds, endSeconds).
struct PhraseLoop {
    double startSeconds = 0;
    double endSeconds = 0;

    bool operator==(const PhraseLoop&) const = default;
};

// A track's loudness and the phrases found in it. A plain value: copy it
// freely, ask it from any thread.
//
// The envelope holds one level per hop of hopSeconds: hop k covers
// [k * hopSeconds, (k + 1) * hopSeconds) of the track (the last one may be
// shorter) and holds the RMS of the mono mixdown (the mean of the channels)
// in dB relative to full scale: a full-scale square wave is 0 dB, a
// full-scale sine -3 dB, exact zeros silenceDecibels.
//
// The phrases are sorted, apart from one another and inside the track.
//
// The helpers that take a time forgive a player that reports a position a
// hair either side of a phrase start it was sent to: a time less than
// atStartToleranceSeconds before or after a start counts as that start.
class PhraseMap {
public:
    static constexpr double hopSeconds = 0.01;
    static constexpr float silenceDecibels = -120.0f;
    static constexpr double atStartToleranceSeconds = 0.05;
    // How far a phrase's loop reaches into the pause on either side: enough
    // to keep a soft onset or a trailing breath that stayed under the
    // detection threshold, yet capped at half the pause (see loopBounds).
    static constexpr double loopMarginSeconds = 0.13;

    PhraseMap() = default;
    PhraseMap(std::vector<float> levelsDecibels, double durationSeconds, std::vector<Phrase> phrases);

    const std::vector<float>& levelsDecibels() const { return m_levelsDecibels; }
    double durationSeconds() const { return m_durationSeconds; }
    const std::vector<Phrase>& phrases() const { return m_phrases; }
    int phraseCount() const { return int(m_phrases.size()); }
    const Phrase& phrase(int index) const { return m_phrases[std::size_t(index)]; }

    // The phrase sounding at seconds, or else the first one after it.
    std::optional<int> phraseAtOrAfter(double seconds) const;
    // "Next": the first phrase that starts after seconds (a phrase starting
    // at seconds is the current one, not the next).
    std::optional<int> nextPhrase(double seconds) const;
    // The phrase after a loop (next phrase, or hands-free drilling's move
    // on): the first one the loop left out, or only reached into. A phrase
    // the loop ends inside counts as the loop's own when the loop began at
    // it (a loop cut short) or holds most of it.
    std::optional<int> phraseAfterLoop(double startSeconds, double endSeconds) const;
    // The phrase before a loop (previous phrase): the last one over before
    // it, or the one the loop starts inside unless the loop holds most of it.
    std::optional<int> phraseBeforeLoop(double startSeconds, double endSeconds) const;
    // "Previous": the last phrase that ended by seconds. Inside a phrase or
    // at its start that is the one before it; in a pause, the phrase just
    // heard. Whether a press deep inside a phrase should rather restart it
    // is the caller's choice (phraseUnder tells which phrase that is).
    std::optional<int> previousPhrase(double seconds) const;
    // The phrase a learner means at seconds: the one sounding (or starting,
    // its lead-in included) there; in the rest of a pause, the phrase just
    // heard; before the first phrase, the first. None only when there are
    // no phrases.
    std::optional<int> phraseUnder(double seconds) const;

    // Loop bounds for a phrase that hold all of its sound and none of a
    // neighbour's: each side reaches marginSeconds into the pause, but never
    // past half of a pause shared with a neighbour, nor past the track's
    // start or end.
    PhraseLoop loopBounds(int index, double marginSeconds = loopMarginSeconds) const;
    // loopBounds of phraseUnder(seconds).
    std::optional<PhraseLoop> loopAround(double seconds, double marginSeconds = loopMarginSeconds) const;

    bool operator==(const PhraseMap&) const = default;

private:
    std::vector<float> m_levelsDecibels;
    double m_durationSeconds = 0;
    std::vector<Phrase> m_phrases;
};
