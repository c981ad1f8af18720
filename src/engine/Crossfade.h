#pragma once

#include <cstdint>

// Raised-cosine fades for joining two pieces of audio without a click: over n
// frames one side's gain falls from 1 to 0 along cos² while the other's rises
// along sin², the two always summing to 1. Every joined sample is then a
// weighted mean of the two sides, so the joint never steps further than the
// signal does by itself (plus the slow turn of the weights). An equal-power
// fade (cos and sin) keeps uncorrelated material a shade louder mid-way, but
// lets the joint step up to 1.4 times as steeply as either side: measured on
// the chirp fixtures, 1.15 times their own largest step, where this fade stays
// below it. The price is a dip of at most 3 dB for a couple of milliseconds.
// Interleaved stereo throughout.
namespace Crossfade {

constexpr int channels = 2;

// A few milliseconds: short enough to hide inside any syllable's edge, long
// enough that the joint never steps more than the signal does by itself.
constexpr double lengthSeconds = 0.005;
int framesAt(int sampleRate);

// Gain of frame i (0-based) of an n-frame fade; the two sum to 1.
float fadeInGain(int i, int n);
float fadeOutGain(int i, int n);

// out[f] = outgoing[f] * fadeOut(offset + f) + incoming[f] * fadeIn(offset + f)
// for f in [0, frames), a piece of an n-frame crossfade that starts at offset.
// Either side may be null (silence). out may be the same as either input.
void mix(const float* outgoing, const float* incoming, float* out, int frames, int offset, int n);

}  // namespace Crossfade
