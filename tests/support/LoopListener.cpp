#include "LoopListener.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace LoopListener {
namespace {

constexpr int channels = 2;

bool sameFrame(const std::vector<float>& a, std::int64_t i, const std::vector<float>& b, std::int64_t j)
{
    return a[std::size_t(i * channels)] == b[std::size_t(j * channels)]
        && a[std::size_t(i * channels + 1)] == b[std::size_t(j * channels + 1)];
}

// Whether output frames from i on follow the decode from j for run frames.
bool follows(const std::vector<float>& output, std::int64_t i, const std::vector<float>& straight, std::int64_t j,
             int run)
{
    const std::int64_t outputFrames = std::int64_t(output.size()) / channels;
    const std::int64_t straightFrames = std::int64_t(straight.size()) / channels;
    if (j < 0 || i + run > outputFrames || j + run > straightFrames)
        return false;
    for (int k = 0; k < run; ++k)
        if (!sameFrame(output, i + k, straight, j + k))
            return false;
    return true;
}

std::uint64_t keyOf(const std::vector<float>& frames, std::int64_t i)
{
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    std::memcpy(&left, &frames[std::size_t(i * channels)], 4);
    std::memcpy(&right, &frames[std::size_t(i * channels + 1)], 4);
    return (std::uint64_t(left) << 32) | right;
}

bool isSilent(const std::vector<float>& output, std::int64_t i)
{
    return output[std::size_t(i * channels)] == 0.0f && output[std::size_t(i * channels + 1)] == 0.0f;
}

}  // namespace

double largestStep(const std::vector<float>& straight, std::int64_t begin, std::int64_t end)
{
    const std::int64_t frames = std::int64_t(straight.size()) / channels;
    double largest = 0;
    for (std::int64_t i = std::max<std::int64_t>(begin, 1); i < std::min(end, frames); ++i)
        for (int c = 0; c < channels; ++c)
            largest = std::max(largest, double(std::fabs(straight[std::size_t(i * channels + c)]
                                                         - straight[std::size_t((i - 1) * channels + c)])));
    return largest;
}

struct Listener::Index {
    // Every frame of the decode by its value, to place an output frame fast.
    std::unordered_multimap<std::uint64_t, std::int64_t> frameByValue;
};

Listener::Listener(const std::vector<float>& straight)
    : m_straight(straight)
    , m_index(std::make_unique<Index>())
{
    const std::int64_t straightFrames = std::int64_t(straight.size()) / channels;
    m_index->frameByValue.reserve(std::size_t(straightFrames));
    for (std::int64_t j = 0; j < straightFrames; ++j)
        m_index->frameByValue.emplace(keyOf(straight, j), j);
}

Listener::~Listener() = default;

Report Listener::listen(const std::vector<float>& output, std::int64_t from, int minimumRun) const
{
    const std::vector<float>& straight = m_straight;
    const auto& frameByValue = m_index->frameByValue;
    Report report;
    const std::int64_t outputFrames = std::int64_t(output.size()) / channels;
    const std::int64_t straightFrames = std::int64_t(straight.size()) / channels;
    std::int64_t i = 0;
    std::int64_t position = from;
    // The start may fade in: that is a junction from silence.
    while (i < outputFrames) {
        if (position < straightFrames && sameFrame(output, i, straight, position)) {
            ++i;
            ++position;
            ++report.framesFollowed;
            continue;
        }
        // Off the straight run: find where (and at which frame) it is rejoined.
        Junction junction;
        junction.at = i;
        junction.leftAfter = position;
        bool found = false;
        for (std::int64_t k = i; k < outputFrames && !found; ++k) {
            // Any frame of the decode could come next: look it up by value,
            // then confirm a run.
            const auto [first, last] = frameByValue.equal_range(keyOf(output, k));
            for (auto it = first; it != last && !found; ++it) {
                if (follows(output, k, straight, it->second, minimumRun)) {
                    junction.length = k - i;
                    junction.rejoinedAt = it->second;
                    found = true;
                }
            }
        }
        if (!found) {
            report.lostTrack = i;
            break;
        }
        for (std::int64_t k = std::max<std::int64_t>(junction.at, 1); k <= junction.at + junction.length; ++k) {
            if (k < junction.at + junction.length && isSilent(output, k))
                ++junction.silentFrames;
            for (int c = 0; c < channels; ++c)
                junction.largestStep = std::max(junction.largestStep,
                                                double(std::fabs(output[std::size_t(k * channels + c)]
                                                                 - output[std::size_t((k - 1) * channels + c)])));
        }
        report.junctions.push_back(junction);
        i += junction.length;
        position = junction.rejoinedAt;
    }
    return report;
}

}  // namespace LoopListener
