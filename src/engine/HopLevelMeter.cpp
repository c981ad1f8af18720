#include "engine/HopLevelMeter.h"

#include "engine/PhraseMap.h"

#include <algorithm>
#include <cmath>

namespace {

// Sum of squares of the mono mixdown. Float additions may not be reordered,
// so one running sum would be one long chain of dependent adds; four
// independent sums run (and vectorise) side by side.
double sumOfSquares(const float* interleaved, int frames, int channels)
{
    float sums[4] = {};
    int frame = 0;
    if (channels == 2) {
        for (; frame + 4 <= frames; frame += 4)
            for (int lane = 0; lane < 4; ++lane) {
                const float mono = interleaved[2 * (frame + lane)] + interleaved[2 * (frame + lane) + 1];
                sums[lane] += mono * mono;
            }
        for (; frame < frames; ++frame) {
            const float mono = interleaved[2 * frame] + interleaved[2 * frame + 1];
            sums[0] += mono * mono;
        }
        return (double(sums[0]) + sums[1] + sums[2] + sums[3]) * 0.25;
    }
    const float scale = 1.0f / float(channels);
    for (; frame < frames; ++frame) {
        float mono = 0;
        for (int channel = 0; channel < channels; ++channel)
            mono += interleaved[std::size_t(frame) * channels + channel];
        mono *= scale;
        sums[frame & 3] += mono * mono;
    }
    return double(sums[0]) + sums[1] + sums[2] + sums[3];
}

}  // namespace

HopLevelMeter::HopLevelMeter(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_hopEndFrame(hopEndFrame(0))
{
}

void HopLevelMeter::reserveSeconds(double seconds)
{
    // A length from a header is a claim, and a damaged one can claim years:
    // room is made for a day at most (35 MB), and a longer track grows on.
    constexpr double mostSeconds = 24 * 3600;
    if (seconds > 0)
        m_levels.reserve(std::size_t(std::min(seconds, mostSeconds) / PhraseMap::hopSeconds) + 2);
}

std::int64_t HopLevelMeter::hopEndFrame(std::int64_t hop) const
{
    const auto hopsPerSecond = std::int64_t(std::lround(1.0 / PhraseMap::hopSeconds));
    return (hop + 1) * m_sampleRate / hopsPerSecond;
}

void HopLevelMeter::add(const float* interleaved, int frames, int channels)
{
    while (frames > 0) {
        const int take = int(std::min<std::int64_t>(frames, m_hopEndFrame - m_framesAdded));
        m_hopSquares += sumOfSquares(interleaved, take, channels);
        m_hopFrames += take;
        m_framesAdded += take;
        interleaved += std::size_t(take) * channels;
        frames -= take;
        if (m_framesAdded == m_hopEndFrame)
            closeHop();
    }
}

void HopLevelMeter::closeHop()
{
    // Below this mean square (-120 dB) a hop is taken as exact silence.
    constexpr double silentMeanSquare = 1e-12;
    const double meanSquare = m_hopFrames > 0 ? m_hopSquares / double(m_hopFrames) : 0.0;
    m_levels.push_back(meanSquare > silentMeanSquare ? float(10.0 * std::log10(meanSquare)) : PhraseMap::silenceDecibels);
    m_hopSquares = 0;
    m_hopFrames = 0;
    m_hopEndFrame = hopEndFrame(std::int64_t(m_levels.size()));
}

std::vector<float> HopLevelMeter::takeLevels()
{
    if (m_hopFrames > 0)
        closeHop();
    return std::move(m_levels);
}
