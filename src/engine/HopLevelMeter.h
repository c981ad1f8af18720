#pragma once

#include <cstdint>
#include <vector>

// Measures a stream of audio hop by hop: the RMS level of its mono mixdown
// over each PhraseMap::hopSeconds, in dB relative to full scale (the levels
// PhraseMap holds). Hops are laid on the sample clock, hop k ending at frame
// floor((k + 1) * sampleRate * hopSeconds), so they never drift from the
// track's time even where a hop is not a whole number of frames.
class HopLevelMeter {
public:
    explicit HopLevelMeter(int sampleRate);

    // Room for this much audio, so the levels are not copied as they grow.
    void reserveSeconds(double seconds);
    // Frames of interleaved samples; the mono signal is their mean over the
    // channels.
    void add(const float* interleaved, int frames, int channels);
    std::int64_t framesAdded() const { return m_framesAdded; }
    // Every hop's level, a last partial hop included; the meter is spent.
    std::vector<float> takeLevels();

private:
    std::int64_t hopEndFrame(std::int64_t hop) const;
    void closeHop();

    const int m_sampleRate;
    std::int64_t m_framesAdded = 0;
    std::int64_t m_hopEndFrame = 0;
    std::int64_t m_hopFrames = 0;   // frames in the open hop
    double m_hopSquares = 0;        // their sum of squares
    std::vector<float> m_levels;
};
