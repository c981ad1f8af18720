#pragma once

#include "base/LeavableThread.h"
#include "engine/AudioBlock.h"
#include "engine/LoopPlan.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class DecodeStream;
class PlaybackSource;
class TimeStretcher;

// What the main thread wants played: from where, and with which loop. Each
// request has a new generation; audio of older ones is dropped unheard.
struct PlaybackRequest {
    std::uint64_t generation = 0;
    std::int64_t frame = 0;       // where to play from
    bool keepsPosition = false;   // only the loop or the speed changed: go on from where the output is
    std::optional<LoopPlan> loop;
    double speed = 1.0;           // stream frames per output frame; 1 plays the stream as it is
    // The latest request that set the position: where the output is counts
    // only once the decoder has begun that one (a seek met with the change
    // after it, both at once, is still a seek).
    std::uint64_t positionGeneration = 0;
};

// The decoder thread of one track: keeps the output's queue filled with the
// stream as the latest request wants it, a little ahead of the output.
//
// A loop is played in the stream itself: the decoder makes the audio up to
// the loop end's exact frame and goes on with the loop start's exact frame,
// joined by a short crossfade (or faded out, a pause of exact silence, faded
// in), long before the output gets there; so nothing past the end is heard,
// nothing after the start is lost, and the output never waits. It counts the
// passes, and after the last one plays on past the end or moves to the next
// region, and marks all of it on the audio for the main thread to hear.
class StreamDecoder {
public:
    StreamDecoder(std::unique_ptr<DecodeStream> stream, PlaybackSource& source, QString path);
    ~StreamDecoder();  // stops and joins the thread, unless it was let go
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    void start();
    // Main thread: asks the thread to end and waits up to `patience` for it.
    // False when it is still busy (in a read that hangs): then let it go.
    bool stopWithin(std::chrono::milliseconds patience);
    // Lets the stopped thread end by itself; `remains` (this decoder and all
    // it uses) is destroyed on it once it has.
    void letGo(std::shared_ptr<void> remains);
    // Main thread: replaces the request and wakes the thread.
    void request(const PlaybackRequest& request);
    // Main thread, after the source was asked to play: a paused decoder with
    // a full queue sleeps until this (or a request), instead of looking for
    // room on a timer.
    void wakeForPlay();
    // Whether the thread waits with the latest request taken in and its audio
    // queued as far as it goes: where a device finds it when it asks for its
    // next buffer. Lets a test that pulls the output itself wait for that.
    bool caughtUpForTesting();
    // Any thread: where the stream stopped when a read failed (not the
    // data's end), -1 while none has; the handle is not trusted again.
    std::int64_t readFailedAtFrame() const { return m_readFailedAtFrame.load(std::memory_order_acquire); }

private:
    enum class Turn { None, Wrap, Advance, Finish };

    void run();
    bool queueHasRoom(std::uint64_t generation) const;
    std::int64_t leadFrames() const;
    bool owesLead() const;
    void begin(const PlaybackRequest& request, std::uint64_t previousGeneration);
    void produce();
    Turn upcomingTurn() const;
    int junctionFrames(Turn turn) const;
    void makeJunction(Turn turn);
    void joinRegions(Turn turn, const float* tail, int tailFrames, std::int64_t tailStart);
    void readBlock(int frames);
    AudioBlock* nextBlock(std::int64_t startFrame, const LoopMarks& marks);
    void continuePause();
    void fadeInIfDue(AudioBlock& block);
    void finishLoop();
    std::int64_t pauseFramesAfter(const LoopRegion& heard) const;
    // At a speed other than 1: the stream through the stretcher.
    void restartStretch(std::int64_t from, bool warm = false);
    void produceStretched();
    int feedStretcher(std::int64_t sourceEnd, int ready, bool runsOn = false);
    void publishStretched(const float* frames, int count, bool endOfStream);
    void noteEarlyEnd();
    LoopMarks marks() const;

    // Decoder thread only.
    const std::unique_ptr<DecodeStream> m_stream;
    PlaybackSource& m_source;
    const QString m_path;
    const int m_sampleRate;
    const std::int64_t m_lengthFrames;
    std::uint64_t m_generation = 0;
    std::optional<LoopPlan> m_plan;
    int m_passesDone = 0;
    // The pass count and region as the output stood when the current
    // generation began, from the output's own report; decoder thread only.
    struct PassCount {
        int passesDone = 0;
        int heardPassesDone = 0;  // one fewer, stopped at a turn's first frame
        std::uint32_t region = 0;
    };
    std::optional<PassCount> m_countAtBegin;
    std::uint32_t m_finishedRegion = 0;  // the region whose last pass ended last; 0: none
    std::uint32_t m_wraps = 0, m_finishes = 0, m_advances = 0;
    std::uint32_t m_wrapsBeforeAdvance = 0;  // m_wraps when m_advances last grew
    std::uint32_t m_jumpsAtBegin = 0;        // 1 when this generation began at the loop's start, past its end
    bool m_ended = false;
    bool m_nextBlockJoins = false;
    std::int64_t m_positionCountedTo = -1;  // of the audio that joins (AudioBlock::positionCountedTo)
    std::int64_t m_pendingPauseFrames = 0;  // the rest of a pause a request cut into, to be made first
    std::int64_t m_pendingPauseCountedTo = -1;  // the device frame that rest was counted to
    // The last pause made on moving on to the next region, by its marks, and
    // the region whose last pass it follows. Decoder thread only.
    struct PauseBeforeMove {
        std::uint32_t region = 0;
        std::uint32_t pass = 0;
        LoopRegion follows;
    };
    std::optional<PauseBeforeMove> m_pauseBeforeMove;
    // Where the current generation began: the output, not having played it
    // yet, is still there when the next request comes. Decoder thread only.
    struct Start {
        std::uint64_t generation = 0;
        std::int64_t frame = 0;
        std::int64_t pauseFrames = 0;
        std::int64_t pauseCountedTo = -1;
        bool joins = false;
        std::int64_t positionCountedTo = -1;  // when it joins
    };
    Start m_start;
    // The change was begun where the output, sounding, plays on in older
    // audio: made only a little ahead of it until taken up. Decoder thread
    // only (read under m_mutex while the thread waits).
    bool m_capsLead = false;
    int m_fadeInAt = -1;                    // frame of the fade-in after that pause; -1: none
    double m_speed = 1.0;
    std::unique_ptr<TimeStretcher> m_stretcher;  // made when first needed
    double m_stretchSource = 0;       // stream frame of the next stretched frame out
    std::int64_t m_stretchFrom = 0;   // the stream frame the stretcher was last started at
    bool m_stretchFlushed = false;    // fed up to where it must stop, and told so
    bool m_stretchRanDry = false;     // flushed because the data ended before that point
    std::vector<float> m_stretchBuffer;
    bool m_reportedEarlyEnd = false;
    std::vector<float> m_tail;
    std::vector<float> m_head;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    PlaybackRequest m_request;  // guarded by m_mutex
    std::atomic<bool> m_stopping{false};  // set under m_mutex; read between blocks too
    std::atomic<std::int64_t> m_readFailedAtFrame{-1};  // set by the decoder thread, read by any
    bool m_caughtUp = false;    // guarded by m_mutex: the thread waits, with m_request taken in
    LeavableThread m_thread;
};
