#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// The chirps that tests/fixtures/make-fixtures.sh encodes into chirp-*.mp3
// and chirp.m4a: 6 s at 44100 Hz, left and right rising at different rates.
namespace KnownSignal {

constexpr int sampleRate = 44100;
constexpr std::int64_t chirpFrames = 6 * sampleRate;

double chirpLeft(double seconds);

// Every frame of a file decoded in one straight run from the start, as
// interleaved stereo at the given output rate. Empty when it cannot be opened.
std::vector<float> straightDecode(const QString& path, int outputRate);

// The lag (in frames, within +-maxLag) at which decoded left-channel audio
// best matches chirpLeft over its first seconds: 0 when nothing is missing or
// added at the start.
int bestLagAgainstChirp(const std::vector<float>& interleaved, int outputRate, int maxLag);

}  // namespace KnownSignal
