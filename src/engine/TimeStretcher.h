#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

// Changes the speed of a stream of stereo frames and keeps its pitch: a voice
// stays the same voice, only slower or faster. librubberband's R3 ("finer")
// engine in real-time mode does the work; bench_speed has the figures it was
// chosen on.
//
// Aligned at every restart: the lead frames (the audio just before the
// start) prime it and are not heard, and its own start delay is trimmed, so
// that its first frame out is the start's. And exact in length: the input
// since a restart comes out as input / speed frames, not a window more.
// Not thread-safe; the decoder thread alone uses it.
class TimeStretcher {
public:
    static constexpr double slowest = 0.5;
    static constexpr double fastest = 2.0;

    TimeStretcher(int sampleRate, double speed);
    ~TimeStretcher();
    TimeStretcher(const TimeStretcher&) = delete;
    TimeStretcher& operator=(const TimeStretcher&) = delete;

    // Frames of audio before a start that warm the stretcher up: started on
    // its pad alone, it comes in at a third of the level and rises over some
    // 15 ms, which a loop's start would make a dip at every turn. (More made
    // no steadier a turn in the tests, at more work every pass.)
    static constexpr int warmUpFrames = 1024;
    // Frames fed on past a loop's end before it is cut there: told its input
    // ends, it fades its last windows into the silence it pads with.
    int runOutFrames() const;

    // How many frames of the audio before a start restart() wants; warmed
    // up, as many more.
    int leadFrames(bool warm = false) const;
    // Starts afresh at speed (frames in per frame out), primed with up to
    // leadFrames(warm) frames that come before the start (fewer, or none, at
    // the start of a track: silence stands in).
    void restart(double speed, const float* lead, int leadCount, bool warm = false);
    // Input it wants before more output comes.
    int inputWanted() const;
    // Interleaved frames in; last flushes out everything it holds.
    void put(const float* frames, int count, bool last);
    int available() const;
    // Its output ends where its input since the restart reaches this many
    // frames, though it is fed on past them.
    void endOutputAt(std::int64_t inputFrames) { m_outputEndsAtInput = inputFrames; }
    // Up to maxCount interleaved frames out; returns how many.
    int take(float* frames, int maxCount);

private:
    int budgetCap(int ready) const;

    std::unique_ptr<RubberBand::RubberBandStretcher> m_stretcher;
    std::vector<float> m_left;
    std::vector<float> m_right;
    std::vector<float> m_primer;
    double m_speed = 1.0;
    int m_startDelayLeft = 0;  // output frames still to drop after a restart
    // The output budget: frames in / speed since the restart. The engine's
    // flush gives out its whole window, tens of milliseconds more, which
    // would lengthen every pass of a loop.
    std::int64_t m_framesIn = 0;
    std::int64_t m_framesOut = 0;
    bool m_lastIn = false;
    std::int64_t m_outputEndsAtInput = -1;  // -1: where the input ends, once told
};
