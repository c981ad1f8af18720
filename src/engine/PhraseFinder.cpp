#include "engine/PhraseFinder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// A run of hops [firstHop, endHop) that holds sound.
struct HopSpan {
    std::int64_t firstHop = 0;
    std::int64_t endHop = 0;

    std::int64_t hops() const { return endHop - firstHop; }
};

int hopsIn(double seconds)
{
    return int(std::ceil(seconds / PhraseMap::hopSeconds - 1e-9));
}

float percentile(std::vector<float>& levels, double share)
{
    const auto index = std::size_t(std::clamp(share, 0.0, 1.0) * double(levels.size() - 1));
    std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(index), levels.end());
    return levels[index];
}

// Spans of sound parted by at least pauseHops hops under the threshold.
std::vector<HopSpan> spansOverThreshold(const std::vector<float>& levels, float threshold, int pauseHops)
{
    std::vector<HopSpan> spans;
    std::int64_t quietHops = 0;
    for (std::size_t hop = 0; hop < levels.size(); ++hop) {
        if (levels[hop] < threshold) {
            ++quietHops;
            continue;
        }
        const auto at = std::int64_t(hop);
        if (spans.empty() || quietHops >= pauseHops)
            spans.push_back({at, at + 1});
        else
            spans.back().endHop = at + 1;
        quietHops = 0;
    }
    return spans;
}

// Widens each span over the hops beside it that stay at or over the edge
// threshold, by at most reachHops on each side and never into the hops a
// neighbour reached.
void reachOverEdges(std::vector<HopSpan>& spans, const std::vector<float>& levels, float edgeThreshold, int reachHops)
{
    std::int64_t taken = 0;  // hops before this are another span's
    for (std::size_t i = 0; i < spans.size(); ++i) {
        HopSpan& span = spans[i];
        const std::int64_t earliest = std::max(taken, span.firstHop - reachHops);
        while (span.firstHop > earliest && levels[std::size_t(span.firstHop - 1)] >= edgeThreshold)
            --span.firstHop;
        const std::int64_t nextFirst = i + 1 < spans.size() ? spans[i + 1].firstHop : std::int64_t(levels.size());
        // Leave the next span as much of the pause as this one may take.
        const std::int64_t latest = std::min(span.endHop + reachHops, span.endHop + (nextFirst - span.endHop) / 2);
        while (span.endHop < latest && levels[std::size_t(span.endHop)] >= edgeThreshold)
            ++span.endHop;
        taken = span.endHop;
    }
}

// Joins each span shorter than minimumHops to the neighbour across the
// shorter pause, the shortest span first, until none is left or one span is.
void joinShortSpans(std::vector<HopSpan>& spans, std::int64_t minimumHops)
{
    while (spans.size() > 1) {
        const auto shortest = std::min_element(spans.begin(), spans.end(),
                                               [](const HopSpan& a, const HopSpan& b) { return a.hops() < b.hops(); });
        if (shortest->hops() >= minimumHops)
            return;
        const bool hasBefore = shortest != spans.begin();
        const bool hasAfter = shortest + 1 != spans.end();
        const std::int64_t pauseBefore = hasBefore ? shortest->firstHop - (shortest - 1)->endHop : INT64_MAX;
        const std::int64_t pauseAfter = hasAfter ? (shortest + 1)->firstHop - shortest->endHop : INT64_MAX;
        // As near to both: the shorter neighbour takes it, or a row of
        // evenly spaced short sounds would all run into the one that grows.
        const bool joinsBefore = pauseBefore < pauseAfter
            || (pauseBefore == pauseAfter && (shortest - 1)->hops() <= (shortest + 1)->hops());
        if (joinsBefore) {
            (shortest - 1)->endHop = shortest->endHop;
        } else {
            (shortest + 1)->firstHop = shortest->firstHop;
        }
        spans.erase(shortest);
    }
}

}  // namespace

PhraseFinder::Threshold PhraseFinder::thresholdFor(const std::vector<float>& levelsDecibels) const
{
    Threshold threshold;
    if (levelsDecibels.empty())
        return threshold;
    std::vector<float> levels = levelsDecibels;
    // Digital silence an editor put before or after the recording (a
    // lead-in, padding) is not its noise floor: once it made a twentieth of
    // the track, the floor fell to the limit, and room tone never counted
    // as a pause (the whole lesson one phrase). Silence within the
    // recording counts: a clean one's pauses are such.
    const auto isDigitalSilence = [this](float level) { return level <= m_settings.floorLimitDecibels; };
    const auto recordedFrom = std::find_if_not(levels.begin(), levels.end(), isDigitalSilence);
    const auto recordedTo = std::find_if_not(levels.rbegin(), levels.rend(), isDigitalSilence).base();
    std::vector<float> recorded(recordedFrom, recordedFrom < recordedTo ? recordedTo : recordedFrom);
    threshold.floorDecibels = std::max(percentile(recorded.empty() ? levels : recorded, m_settings.floorPercentile),
                                       m_settings.floorLimitDecibels);
    // Speech is measured where there is sound at all, so that a few words in
    // a long silence still count.
    std::erase_if(levels, [this](float level) { return level < m_settings.silentBelowDecibels; });
    if (levels.empty())
        return threshold;
    threshold.speechDecibels = percentile(levels, m_settings.speechPercentile);
    threshold.silent = false;
    const float contrast = threshold.speechDecibels - threshold.floorDecibels;
    if (contrast >= m_settings.minContrastDecibels) {
        threshold.decibels = threshold.floorDecibels + float(m_settings.thresholdShare) * contrast;
        threshold.edgeDecibels = threshold.floorDecibels + float(m_settings.edgeShare) * contrast;
    } else {
        threshold.decibels = threshold.edgeDecibels = m_settings.silentBelowDecibels;
    }
    return threshold;
}

std::vector<Phrase> PhraseFinder::find(const std::vector<float>& levelsDecibels, double durationSeconds) const
{
    const Threshold threshold = thresholdFor(levelsDecibels);
    if (threshold.silent)
        return {};
    std::vector<HopSpan> spans =
        spansOverThreshold(levelsDecibels, threshold.decibels, hopsIn(m_settings.minPauseSeconds));
    const int clickHops = hopsIn(m_settings.clickSeconds);
    std::erase_if(spans, [clickHops](const HopSpan& span) { return span.hops() < clickHops; });
    reachOverEdges(spans, levelsDecibels, threshold.edgeDecibels, hopsIn(m_settings.edgeReachSeconds));
    joinShortSpans(spans, hopsIn(m_settings.minPhraseSeconds));

    std::vector<Phrase> phrases;
    phrases.reserve(spans.size());
    for (const HopSpan& span : spans)
        phrases.push_back({double(span.firstHop) * PhraseMap::hopSeconds,
                           std::min(double(span.endHop) * PhraseMap::hopSeconds, durationSeconds)});
    return phrases;
}
