#include "engine/SampleGuard.h"

#include <algorithm>
#include <cmath>

namespace SampleGuard {

bool tame(std::span<float> samples)
{
    bool damaged = false;
    for (const float sample : samples) {
        // Written so that NaN, which compares false, counts as damage.
        if (!(std::abs(sample) <= damagedPeak)) {
            damaged = true;
            break;
        }
    }
    if (damaged) {
        std::fill(samples.begin(), samples.end(), 0.0f);
        return true;
    }
    for (float& sample : samples)
        sample = std::clamp(sample, -1.0f, 1.0f);
    return false;
}

}  // namespace SampleGuard
