#include "engine/TimeStretcher.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int channels = 2;
// The most frames put in or taken out at a time; the stretcher is told so,
// so that it never allocates while playing.
constexpr int maxChunk = 2048;

}  // namespace

TimeStretcher::TimeStretcher(int sampleRate, double speed)
    : m_stretcher(std::make_unique<RubberBand::RubberBandStretcher>(
          std::size_t(sampleRate), channels,
          RubberBand::RubberBandStretcher::OptionProcessRealTime | RubberBand::RubberBandStretcher::OptionChannelsTogether
              | RubberBand::RubberBandStretcher::OptionEngineFiner,
          1.0 / speed))
    , m_left(maxChunk)
    , m_right(maxChunk)
    , m_speed(speed)
{
    m_stretcher->setMaxProcessSize(maxChunk);
}

TimeStretcher::~TimeStretcher() = default;

int TimeStretcher::leadFrames(bool warm) const
{
    return int(m_stretcher->getPreferredStartPad()) + (warm ? warmUpFrames : 0);
}

int TimeStretcher::runOutFrames() const
{
    // As far as its windows reach past the frame it is making, in input.
    return int(std::ceil(double(m_stretcher->getStartDelay()) * m_speed)) + warmUpFrames;
}

void TimeStretcher::restart(double speed, const float* lead, int leadCount, bool warm)
{
    m_stretcher->reset();
    m_speed = speed;
    m_stretcher->setTimeRatio(1.0 / speed);
    const int total = leadFrames(warm);
    const int warmUp = warm ? warmUpFrames : 0;
    // What is missing of the lead (the start of the track) is silence. The
    // buffer is kept: a loop restarts the stretcher on every wrap.
    std::vector<float>& primer = m_primer;
    primer.assign(std::size_t(total) * channels, 0.0f);
    const int given = std::clamp(leadCount, 0, total);
    if (given > 0)
        std::copy_n(lead + std::ptrdiff_t(leadCount - given) * channels, std::size_t(given) * channels,
                    primer.begin() + std::ptrdiff_t(total - given) * channels);
    put(primer.data(), total, false);
    // What the warm-up makes is not heard either: the first frame out is
    // the start's.
    m_startDelayLeft = int(m_stretcher->getStartDelay()) + int(std::llround(double(warmUp) / speed));
    m_framesIn = 0;
    m_framesOut = 0;
    m_lastIn = false;
    m_outputEndsAtInput = -1;
}

int TimeStretcher::inputWanted() const
{
    return int(m_stretcher->getSamplesRequired());
}

void TimeStretcher::put(const float* frames, int count, bool last)
{
    m_framesIn += count;
    m_lastIn = last;
    do {
        const int now = std::min(count, maxChunk);
        for (int i = 0; i < now; ++i) {
            m_left[std::size_t(i)] = frames[i * channels];
            m_right[std::size_t(i)] = frames[i * channels + 1];
        }
        const float* planes[] = {m_left.data(), m_right.data()};
        m_stretcher->process(planes, std::size_t(now), last && now == count);
        frames += std::ptrdiff_t(now) * channels;
        count -= now;
    } while (count > 0);
}

int TimeStretcher::budgetCap(int ready) const
{
    if (!m_lastIn && m_outputEndsAtInput < 0)
        return ready;
    const std::int64_t endsAt = m_outputEndsAtInput >= 0 ? m_outputEndsAtInput : m_framesIn;
    const std::int64_t left = std::llround(double(endsAt) / m_speed) - m_framesOut;
    return int(std::clamp<std::int64_t>(left, 0, ready));
}

int TimeStretcher::available() const
{
    return budgetCap(std::max(0, m_stretcher->available() - m_startDelayLeft));
}

int TimeStretcher::take(float* frames, int maxCount)
{
    maxCount = budgetCap(maxCount);
    int taken = 0;
    while (taken < maxCount) {
        const int ready = m_stretcher->available();
        if (ready <= 0)
            break;
        const int now = std::min({ready, maxChunk, m_startDelayLeft > 0 ? m_startDelayLeft : maxCount - taken});
        float* planes[] = {m_left.data(), m_right.data()};
        const int got = int(m_stretcher->retrieve(planes, std::size_t(now)));
        if (got <= 0)
            break;
        if (m_startDelayLeft > 0) {
            m_startDelayLeft -= got;  // the start delay: not heard
            continue;
        }
        for (int i = 0; i < got; ++i) {
            frames[(taken + i) * channels] = m_left[std::size_t(i)];
            frames[(taken + i) * channels + 1] = m_right[std::size_t(i)];
        }
        taken += got;
    }
    m_framesOut += taken;
    return taken;
}
