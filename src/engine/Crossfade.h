#pragma once

#include <cstdint>

// Equal-power fades for joining two pieces of audio without a click: over n
// frames one side's gain falls as a cosine while the other's rises as a sine,
// so the summed power stays level. Interleaved stereo throughout.
namespace Crossfade {

constexpr int channels = 2;

// A few milliseconds: short enough to hide inside any syllable's edge, long
// enough that the joint never steps more than the signal does by itself.
constexpr double lengthSeconds = 0.005;
int framesAt(int sampleRate);

// Gain of frame i (0-based) of an n-frame fade; they sum in power to 1.
float fadeInGain(int i, int n);
float fadeOutGain(int i, int n);

// out[f] = outgoing[f] * fadeOut(offset + f) + incoming[f] * fadeIn(offset + f)
// for f in [0, frames), a piece of an n-frame crossfade that starts at offset.
// Either side may be null (silence). out may be the same as either input.
void mix(const float* outgoing, const float* incoming, float* out, int frames, int offset, int n);

}  // namespace Crossfade
