#include "KnownSignal.h"

#include "engine/DecodeStream.h"

#include <cmath>
#include <numbers>

namespace KnownSignal {

double chirpLeft(double t)
{
    return 0.5 * std::sin(2 * std::numbers::pi * (200 * t + 112.5 * t * t));
}

std::vector<float> straightDecode(const QString& path, int outputRate)
{
    std::vector<float> all;
    const auto stream = DecodeStream::open(path, outputRate, nullptr);
    if (!stream)
        return all;
    std::vector<float> chunk(4096 * 2);
    while (const int frames = stream->read(chunk.data(), 4096))
        all.insert(all.end(), chunk.begin(), chunk.begin() + frames * 2);
    return all;
}

int bestLagAgainstChirp(const std::vector<float>& interleaved, int outputRate, int maxLag)
{
    const std::int64_t frames = std::int64_t(interleaved.size() / 2);
    // Past the codec's start-up, with room for negative lags, and long enough
    // (over 2 s, a sweep of some 500 Hz) that a lag of one period of the
    // tone does not fit almost as well as the right one.
    const int windowStart = maxLag + 2000;
    const int windowEnd = windowStart + 100000;
    std::vector<double> reference(std::size_t(windowEnd - windowStart));
    for (int i = windowStart; i < windowEnd; ++i)
        reference[std::size_t(i - windowStart)] = chirpLeft(double(i) / outputRate);
    auto correlation = [&](int lag) {
        double sum = 0;
        for (int i = windowStart; i < windowEnd; ++i) {
            const std::int64_t j = i + lag;
            if (j >= 0 && j < frames)
                sum += interleaved[std::size_t(2 * j)] * reference[std::size_t(i - windowStart)];
        }
        return sum;
    };
    // Coarse steps well inside the peak's width, then every lag around the best.
    constexpr int coarseStep = 8;
    int bestLag = 0;
    double best = -1e300;
    for (int lag = -maxLag; lag <= maxLag; lag += coarseStep)
        if (const double sum = correlation(lag); sum > best) {
            best = sum;
            bestLag = lag;
        }
    const int coarseBest = bestLag;
    for (int lag = coarseBest - coarseStep; lag <= coarseBest + coarseStep; ++lag)
        if (const double sum = correlation(lag); sum > best) {
            best = sum;
            bestLag = lag;
        }
    return bestLag;
}

}  // namespace KnownSignal
