#include "engine/Crossfade.h"

#include <cmath>
#include <numbers>

namespace Crossfade {

int framesAt(int sampleRate)
{
    return int(std::lround(lengthSeconds * sampleRate));
}

// Sampled at the middle of each frame, so that a fade-out and the following
// fade-in never both have gain 1 or 0 at the joint.
static double angle(int i, int n)
{
    return std::numbers::pi / 2 * (double(i) + 0.5) / double(n);
}

float fadeInGain(int i, int n)
{
    const double rise = std::sin(angle(i, n));
    return float(rise * rise);
}

float fadeOutGain(int i, int n)
{
    const double fall = std::cos(angle(i, n));
    return float(fall * fall);
}

void mix(const float* outgoing, const float* incoming, float* out, int frames, int offset, int n)
{
    for (int f = 0; f < frames; ++f) {
        const float down = fadeOutGain(offset + f, n);
        const float up = fadeInGain(offset + f, n);
        for (int c = 0; c < channels; ++c) {
            const std::int64_t i = std::int64_t(f) * channels + c;
            const float a = outgoing ? outgoing[i] : 0.0f;
            const float b = incoming ? incoming[i] : 0.0f;
            out[i] = a * down + b * up;
        }
    }
}

}  // namespace Crossfade
