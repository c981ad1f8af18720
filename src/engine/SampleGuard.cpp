#include "engine/SampleGuard.h"

#include <algorithm>
#include <cmath>

namespace SampleGuard {

bool tame(std::span<float> samples)
{
    // Written so that NaN, which compares false, counts as damage.
    const bool damaged = std::any_of(samples.begin(), samples.end(),
                                     [](float sample) { return !(std::abs(sample) <= damagedPeak); });
    if (damaged)
        std::fill(samples.begin(), samples.end(), 0.0f);
    return damaged;
}

}  // namespace SampleGuard
