#pragma once

#include <span>

// Decoded sound on its way to the device. Damaged data the decoder took for
// sound (a file rewritten under the index read at its opening, or not audio
// at all) can come out at thousands of times full scale: a block that loud
// is no recording, and is heard as silence instead. Real sound may go a
// little past full scale (a loud master's overs); that is kept, for the
// volume to bring down.
namespace SampleGuard {

// Beyond this, a block is taken for damage (+12 dB over full scale).
constexpr float damagedPeak = 4.0f;

// Whether a sample is past damagedPeak or not a number.
bool isDamaged(std::span<const float> samples);

// In place: the whole block silenced when it is damaged. True when silenced.
bool tame(std::span<float> samples);

}  // namespace SampleGuard
