#include "ManualOutput.h"

#include "engine/AudioOutput.h"
#include "engine/FilePlayer.h"

#include <algorithm>
#include <thread>

namespace ManualOutput {
namespace {

constexpr int chunkFrames = 256;
std::int64_t unsupplied = 0;
std::vector<std::int64_t> cuts;

template <typename Collect>
std::int64_t pullInto(std::int64_t frames, std::chrono::milliseconds patience, Collect&& collect)
{
    const std::shared_ptr<AudioOutput> output = AudioOutput::shared();
    float chunk[2 * chunkFrames];
    std::int64_t pulled = 0;
    cuts.clear();
    auto lastProgress = std::chrono::steady_clock::now();
    while (pulled < frames) {
        const int wanted = int(std::min<std::int64_t>(chunkFrames, frames - pulled));
        const int supplied = output->renderForTesting(chunk, wanted);
        if (supplied > 0) {
            collect(chunk, supplied);
            pulled += supplied;
            lastProgress = std::chrono::steady_clock::now();
        }
        if (supplied < wanted && (cuts.empty() || cuts.back() != pulled))
            cuts.push_back(pulled);
        if (supplied == 0) {
            if (std::chrono::steady_clock::now() - lastProgress > patience)
                break;
            unsupplied += wanted;
            // The decoder has not caught up yet.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    return pulled;
}

}  // namespace

std::vector<float> pull(std::int64_t frames, std::chrono::milliseconds patience)
{
    std::vector<float> collected;
    pullInto(frames, patience, [&](const float* chunk, int supplied) {
        collected.insert(collected.end(), chunk, chunk + supplied * 2);
    });
    return collected;
}

std::vector<float> render(int frames)
{
    std::vector<float> buffer(std::size_t(frames) * 2, 0.0f);
    AudioOutput::shared()->renderForTesting(buffer.data(), frames);
    return buffer;
}

const std::vector<std::int64_t>& lastPullCuts()
{
    return cuts;
}

std::int64_t unsuppliedFrames()
{
    return unsupplied;
}

std::int64_t pullCount(std::int64_t frames, std::chrono::milliseconds patience)
{
    return pullInto(frames, patience, [](const float*, int) {});
}

bool likeADevice(const FilePlayer* player)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player && !player->decoderCaughtUpForTesting()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return player != nullptr;
}

}  // namespace ManualOutput
