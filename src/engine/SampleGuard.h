#pragma once

#include <span>

// Decoded sound as it may go to the device. Damaged data the decoder took
// for sound (a file rewritten under the index read at its opening, or not
// audio at all) can come out at thousands of times full scale: a burst that
// loud is no recording, and is heard as silence instead. Real sound goes at
// most a little past full scale; that is clipped here, as the device would.
namespace SampleGuard {

// Beyond this, a block is taken for damage (+12 dB over full scale).
constexpr float damagedPeak = 4.0f;

// In place: the whole block silenced when a sample is past damagedPeak or
// not a number, else each sample kept within [-1, 1]. True when silenced.
bool tame(std::span<float> samples);

}  // namespace SampleGuard
