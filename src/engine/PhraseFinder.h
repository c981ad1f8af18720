#pragma once

#include "engine/PhraseMap.h"

#include <vector>

// Finds the phrases of a recording in its hop levels (PhraseMap's envelope).
//
// A pause is a stretch of at least minPauseSeconds whose hops all stay under
// a threshold taken from the recording itself: its noise floor (a low
// percentile of the levels, digital silence counted as floorLimitDecibels)
// and its speech level (a high percentile of the hops that are not silent),
// the threshold lying thresholdShare of the way from one to the other in dB.
// So a quiet recording with hiss and a loud clean one are cut alike.
//
// A phrase runs from the first hop at or over the threshold after a pause to
// the last one before the next pause, and then reaches out over the hops
// next to it that stay over a lower edge threshold (edgeShare of the way
// from floor to speech), for at most edgeReachSeconds: a soft onset or a
// fading last consonant is part of the phrase, yet the threshold that finds
// pauses stays clear of the noise. Then:
// - sound shorter than clickSeconds between two pauses is a click or a
//   breath, part of the pause;
// - a phrase shorter than minPhraseSeconds joins the neighbour it is closer
//   to (the shortest first), unless it is the only one;
// - a recording with no hop at or over silentBelowDecibels is silent: no
//   phrases;
// - one whose speech level is less than minContrastDecibels over its floor
//   has no pauses of its own (music, a steady tone): only a stretch of
//   silence (under silentBelowDecibels) parts it, so it is mostly one
//   phrase covering its sound.
class PhraseFinder {
public:
    struct Settings {
        double minPauseSeconds = 0.2;
        double minPhraseSeconds = 0.15;
        double clickSeconds = 0.05;
        double floorPercentile = 0.05;
        double speechPercentile = 0.95;
        double thresholdShare = 0.3;
        double edgeShare = 0.12;
        double edgeReachSeconds = 0.08;
        float floorLimitDecibels = -90.0f;
        float minContrastDecibels = 12.0f;
        float silentBelowDecibels = -65.0f;
    };

    // What the threshold was made of, for a view that draws it.
    struct Threshold {
        float floorDecibels = PhraseMap::silenceDecibels;
        float speechDecibels = PhraseMap::silenceDecibels;
        float decibels = 0;
        float edgeDecibels = 0;
        bool silent = true;
    };

    PhraseFinder() = default;
    explicit PhraseFinder(const Settings& settings) : m_settings(settings) {}

    Threshold thresholdFor(const std::vector<float>& levelsDecibels) const;
    std::vector<Phrase> find(const std::vector<float>& levelsDecibels, double durationSeconds) const;

private:
    Settings m_settings;
};
