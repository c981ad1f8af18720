#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

class FilePlayer;

// Pulling the process's output by hand, for tests that put the output in
// manual mode (AudioOutput::useManualOutputForTesting) before anything
// opens it: audio moves only when a test pulls it, as fast as it likes.
namespace ManualOutput {

// Pulls until `frames` frames came from the streams, or until they supplied
// nothing for `patience` (the end of the data, or paused). Returns what came,
// interleaved stereo.
std::vector<float> pull(std::int64_t frames, std::chrono::milliseconds patience = std::chrono::milliseconds(1000));

// Where the last pull's streams ran dry (the frames of its result before
// each such place): a pull, faster than any device, runs ahead of the
// decoder, and closes up the gaps a device would have heard as silence.
const std::vector<std::int64_t>& lastPullCuts();

// One render of `frames`, as a device asks for its buffer; silence where the
// streams supplied nothing.
std::vector<float> render(int frames);

// The same, counting the frames without keeping them.
std::int64_t pullCount(std::int64_t frames, std::chrono::milliseconds patience = std::chrono::milliseconds(1000));

// The frames pulls rendered so far without the streams supplying them (they
// retried while the decoder caught up): a device would have played them as
// silence, so they count in the time gone by.
std::int64_t unsuppliedFrames();

// Waits as a device's next buffer would come: a little, and on a slow run
// until the player's decoder has taken in the latest change and filled the
// queue again. False when it has not after 10 s.
[[nodiscard]] bool likeADevice(const FilePlayer* player);

}  // namespace ManualOutput
