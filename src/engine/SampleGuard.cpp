#include "engine/SampleGuard.h"

#include <algorithm>
#include <cmath>

namespace SampleGuard {

bool isDamaged(std::span<const float> samples)
{
    // Written so that NaN, which compares false, counts as damage.
    return std::any_of(samples.begin(), samples.end(), [](float sample) { return !(std::abs(sample) <= damagedPeak); });
}

bool tame(std::span<float> samples)
{
    const bool damaged = isDamaged(samples);
    if (damaged)
        std::fill(samples.begin(), samples.end(), 0.0f);
    return damaged;
}

}  // namespace SampleGuard
