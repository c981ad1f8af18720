#include "engine/StreamDecoder.h"

#include "base/Log.h"
#include "base/Threads.h"
#include "engine/Crossfade.h"
#include "engine/DecodeStream.h"
#include "engine/PlaybackSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// The decoder keeps this much queued; the rest of the ring is headroom, so
// that after a seek the new position can be queued before the stale audio
// has been dropped.
constexpr int steadyQueueBlocks = 40;
// How long the decoder sleeps when the queue is full: far less than the
// queue lasts, so it never runs dry.
constexpr std::chrono::milliseconds refillInterval{100};
// Data that ends this close to the stated length ends where it should: a
// length read from headers may be off by a frame or two.
constexpr int earlyEndToleranceDivisor = 10;  // a tenth of a second

}  // namespace

StreamDecoder::StreamDecoder(std::unique_ptr<DecodeStream> stream, PlaybackSource& source, QString path)
    : m_stream(std::move(stream))
    , m_source(source)
    , m_path(std::move(path))
    , m_sampleRate(source.sampleRate())
    , m_lengthFrames(m_stream->outputLengthFrames())
    , m_tail(std::size_t(AudioBlock::capacityFrames) * AudioBlock::channels)
    , m_head(std::size_t(AudioBlock::capacityFrames) * AudioBlock::channels)
{
}

StreamDecoder::~StreamDecoder()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StreamDecoder::start()
{
    m_source.setProducerWake([this] { m_wake.notify_all(); });
    noteThreadStart("A track's decoder");
    m_thread = std::thread([this] { run(); });
}

void StreamDecoder::request(const PlaybackRequest& request)
{
    {
        std::lock_guard lock(m_mutex);
        m_request = request;
        m_source.setRequestedGeneration(request.generation);
    }
    m_wake.notify_all();
}

bool StreamDecoder::queueHasRoom(std::uint64_t generation) const
{
    // While stale blocks still wait to be dropped, the headroom may be used;
    // a junction takes up to three blocks at once.
    BlockRing& ring = m_source.ring();
    const int limit = m_source.consumedGeneration() == generation ? steadyQueueBlocks : ring.capacity() - 3;
    return ring.usedBlocks() < limit;
}

void StreamDecoder::run()
{
    std::uint64_t working = 0;  // the stream was positioned at 0 by the load
    for (;;) {
        std::optional<PlaybackRequest> fresh;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                if (m_stopping)
                    return;
                if (m_request.generation != working) {
                    fresh = m_request;
                    break;
                }
                if (!m_ended && queueHasRoom(working))
                    break;
                if (m_ended)
                    m_wake.wait(lock);
                else
                    m_wake.wait_for(lock, refillInterval);
            }
        }
        if (fresh) {
            begin(*fresh, working);
            working = fresh->generation;
        }
        while (!m_ended && m_source.requestedGeneration() == working && queueHasRoom(working))
            produce();
    }
}

LoopMarks StreamDecoder::marks() const
{
    LoopMarks marks;
    marks.wraps = m_wraps;
    marks.finishes = m_finishes;
    marks.advances = m_advances;
    marks.pass = m_plan ? std::uint32_t(m_passesDone + 1) : 0;
    marks.region = m_plan ? m_plan->region.serial : 0;
    return marks;
}

void StreamDecoder::begin(const PlaybackRequest& request, std::uint64_t previousGeneration)
{
    const bool sameLoop = request.loop && m_plan && request.loop->region.serial == m_plan->region.serial;
    if (!sameLoop)
        m_passesDone = 0;
    m_plan = request.loop;
    m_generation = request.generation;
    m_wraps = m_finishes = m_advances = 0;  // counted afresh in each generation

    std::int64_t from = request.frame;
    bool joins = false;
    if (request.keepsPosition) {
        // Go on from where the output is, if it plays what was made last.
        const PlaybackSource::OutputPosition output = m_source.outputPosition();
        if (output.known && output.generation == previousGeneration)
            from = output.nextFrame;
        joins = true;
    }
    if (m_plan && from >= m_plan->region.endFrame) {
        // Already past the loop's end (it was moved before the play head, or
        // a seek went beyond it): the next audio is the loop start.
        from = m_plan->region.startFrame;
        ++m_wraps;
        joins = false;
    }
    m_stream->seek(from);
    m_ended = false;
    m_nextBlockJoins = joins;
}

StreamDecoder::Turn StreamDecoder::upcomingTurn() const
{
    if (!m_plan)
        return Turn::None;
    if (m_plan->passes <= 0 || m_passesDone + 1 < m_plan->passes)
        return Turn::Wrap;
    return m_plan->next ? Turn::Advance : Turn::Finish;
}

// The crossfade at the loop's turn: a few milliseconds, less for a loop too
// short to hold two of them.
int StreamDecoder::junctionFrames(Turn turn) const
{
    const LoopRegion& from = m_plan->region;
    const LoopRegion& to = turn == Turn::Advance ? *m_plan->next : m_plan->region;
    const std::int64_t shortest = std::min(from.lengthFrames(), to.lengthFrames());
    return int(std::clamp<std::int64_t>(shortest / 2, 0, m_source.fadeFrames()));
}

void StreamDecoder::produce()
{
    const Turn turn = upcomingTurn();
    const std::int64_t position = m_stream->position();
    if (turn == Turn::None) {
        readBlock(int(std::min<std::int64_t>(AudioBlock::capacityFrames, std::max<std::int64_t>(m_lengthFrames - position, 0))));
        return;
    }
    const std::int64_t end = m_plan->region.endFrame;
    const std::int64_t stopAt = turn == Turn::Finish ? end : end - junctionFrames(turn);
    if (position < stopAt) {
        readBlock(int(std::min<std::int64_t>(AudioBlock::capacityFrames, stopAt - position)));
        return;
    }
    if (turn == Turn::Finish) {
        // The last pass is over: play on past the end, the loop gone.
        m_plan.reset();
        m_passesDone = 0;
        ++m_finishes;
        return;
    }
    makeJunction(turn);
}

// Fills the next block with up to frames frames straight from the stream.
void StreamDecoder::readBlock(int frames)
{
    AudioBlock* block = m_source.ring().writableBlock();
    if (!block)
        return;
    block->generation = m_generation;
    block->startFrame = m_stream->position();
    block->pauseFrames = 0;
    block->joinsInPlace = m_nextBlockJoins;
    block->marks = marks();
    block->frames = frames > 0 ? m_stream->read(block->samples, frames) : 0;
    block->endOfStream = block->frames < frames || m_stream->position() >= m_lengthFrames;
    // A loop's turn comes before the end of the stream; only then is it the end.
    if (m_plan && m_stream->position() < m_lengthFrames && block->frames == frames)
        block->endOfStream = false;
    m_nextBlockJoins = false;
    m_ended = block->endOfStream;
    m_source.ring().publish();
    if (m_ended)
        noteEarlyEnd();
}

// The loop's end meets its start (or the next region's): the last frames
// before the end fade out while the first frames from the start fade in; with
// a pause between passes, the end fades out, exact silence follows, and the
// start fades in. Either way every frame of both is there, and no other.
void StreamDecoder::makeJunction(Turn turn)
{
    BlockRing& ring = m_source.ring();
    const LoopRegion heard = m_plan->region;
    const LoopRegion target = turn == Turn::Advance ? *m_plan->next : heard;
    const LoopMarks before = marks();
    const std::int64_t tailStart = m_stream->position();
    const int fade = int(std::clamp<std::int64_t>(heard.endFrame - tailStart, 0, AudioBlock::capacityFrames));
    std::fill(m_tail.begin(), m_tail.end(), 0.0f);
    m_stream->read(m_tail.data(), fade);

    if (turn == Turn::Wrap) {
        ++m_passesDone;
        ++m_wraps;
    } else {
        m_plan->region = target;
        m_plan->next.reset();
        m_passesDone = 0;
        ++m_advances;
    }
    const LoopMarks after = marks();
    m_stream->seek(target.startFrame);
    std::fill(m_head.begin(), m_head.end(), 0.0f);
    const int headFrames = m_stream->read(m_head.data(), fade);
    // The data running out inside the head (a damaged file) is its end.
    const bool endsHere = headFrames < fade;

    auto nextBlock = [&](std::int64_t startFrame, const LoopMarks& marks) {
        AudioBlock* block = ring.writableBlock();
        block->generation = m_generation;
        block->startFrame = startFrame;
        block->frames = 0;
        block->pauseFrames = 0;
        block->endOfStream = false;
        block->joinsInPlace = false;
        block->marks = marks;
        return block;
    };
    const std::int64_t pauseFrames = m_plan->pause.framesFor(heard, m_sampleRate);
    if (pauseFrames > 0) {
        AudioBlock* out = nextBlock(tailStart, before);
        out->frames = fade;
        Crossfade::mix(m_tail.data(), nullptr, out->samples, fade, 0, fade);
        if (fade > 0)
            ring.publish();
        nextBlock(target.startFrame, after)->pauseFrames = pauseFrames;
        ring.publish();
    }
    if (fade > 0) {
        AudioBlock* in = nextBlock(target.startFrame, after);
        in->frames = fade;
        Crossfade::mix(pauseFrames > 0 ? nullptr : m_tail.data(), m_head.data(), in->samples, fade, 0, fade);
        in->endOfStream = endsHere;
        ring.publish();
    }
    if (endsHere) {
        m_ended = true;
        noteEarlyEnd();
    }
}

// A file cut short or overwritten after it was opened, or one that cannot be
// read any further, ends before its stated length. Playback then ends there
// as at a real end; the line says why, once per load.
void StreamDecoder::noteEarlyEnd()
{
    const std::int64_t endFrame = m_stream->position();
    if (m_reportedEarlyEnd || endFrame + m_sampleRate / earlyEndToleranceDivisor >= m_lengthFrames)
        return;
    m_reportedEarlyEnd = true;
    const int error = m_stream->readError();
    const QString reason = error ? Ffmpeg::errorText(error) : QStringLiteral("no more data");
    const double endSeconds = std::round(double(endFrame) * 1000 / m_sampleRate) / 1000;
    Log::line(QStringLiteral("Track ends early: %1: %2, at %3 s of %4 s")
                  .arg(m_path, reason, Log::formatDouble(endSeconds),
                       Log::formatDouble(m_stream->durationSeconds())));
}
