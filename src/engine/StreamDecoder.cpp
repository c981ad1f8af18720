#include "engine/StreamDecoder.h"

#include "base/Log.h"
#include "base/Threads.h"
#include "engine/Crossfade.h"
#include "engine/DecodeStream.h"
#include "engine/PlaybackSource.h"
#include "engine/TimeStretcher.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// The passes done before a pass the output reports (0: none, outside a loop).
int passesDoneBefore(std::uint32_t pass)
{
    return int(std::max<std::uint32_t>(pass, 1)) - 1;
}

// The decoder keeps this much queued; the rest of the ring is headroom, so
// that after a seek the new position can be queued before the stale audio
// has been dropped.
constexpr int steadyQueueBlocks = 40;
// How long the decoder sleeps when the queue is full: far less than the
// queue lasts, so it never runs dry.
constexpr std::chrono::milliseconds refillInterval{100};
// How soon it looks again while the queue is full of audio no longer wanted
// (seeks in a burst): the output drops that at its next buffer, without a
// word to the decoder, and would otherwise wait in silence for the rest of
// a refill's round.
constexpr std::chrono::milliseconds staleDropInterval{5};
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
    m_thread.join();
}

bool StreamDecoder::stopWithin(std::chrono::milliseconds patience)
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    return m_thread.endedWithin(patience);
}

void StreamDecoder::letGo(std::shared_ptr<void> remains)
{
    m_thread.letGo(std::move(remains));
}

void StreamDecoder::start()
{
    m_source.setProducerWake([this] { m_wake.notify_all(); });
    m_thread = LeavableThread("A track's decoder", "rivetone decode", [this] { run(); });
}

void StreamDecoder::request(const PlaybackRequest& request)
{
    {
        std::lock_guard lock(m_mutex);
        // The output does not play on while it still plays what came before
        // a seek: that is not the sound the change goes on from.
        const bool beforeTheSeek = m_source.consumedGeneration() < request.positionGeneration;
        m_request = request;
        m_caughtUp = false;
        m_source.setRequestedGeneration(request.generation, request.keepsPosition && !beforeTheSeek);
    }
    m_wake.notify_all();
}

void StreamDecoder::wakeForPlay()
{
    // Under the lock, so that it cannot fall between the thread's look at
    // the play request and its wait.
    std::lock_guard lock(m_mutex);
    m_wake.notify_all();
}

bool StreamDecoder::caughtUpForTesting()
{
    std::lock_guard lock(m_mutex);
    // While it waits, the thread touches nothing outside the lock; a queue
    // played down since is not caught up until the thread fills it again.
    return m_caughtUp && (m_ended || !queueHasRoom(m_request.generation));
}

bool StreamDecoder::queueHasRoom(std::uint64_t generation) const
{
    // While stale blocks still wait to be dropped, the headroom may be used;
    // a junction takes up to three blocks at once.
    BlockRing& ring = m_source.ring();
    const bool consumed = m_source.consumedGeneration() == generation;
    const int limit = consumed ? steadyQueueBlocks : ring.capacity() - 3;
    // Silent, the output takes a change up at its first block, and drops
    // what it overtook only then: the lead matters once changes in a burst
    // have filled half the queue.
    if (!consumed && m_capsLead && (m_source.audible() || ring.usedBlocks() >= steadyQueueBlocks / 2)) {
        // Counted from where the change began too: a fade-out may carry the
        // output through a turn, back to the loop's start, and the change
        // must still have a render's worth to be taken up with.
        const std::int64_t from = std::max(m_source.outputPosition().nextFrame, m_start.frame);
        const std::int64_t made = m_speed == 1.0 ? m_stream->position() : std::llround(m_stretchSource);
        if (made >= from + std::llround(double(leadFrames()) * m_speed))
            return false;
    }
    return ring.usedBlocks() < limit;
}

// How far ahead of the output a change it has not taken up yet is made:
// enough for the output to join it at its next render and play another
// while the decoder wakes to fill the queue again, and no more.
// The output plays on in older audio meanwhile, and every further change
// (a handle dragged) queues behind: made in full, a few overtaken changes
// would fill the queue, and the newest, with no room left, would never get
// ahead of the output to be joined. (Before the device's first render, as
// for the usual one: the stream must have enough to start with then.)
std::int64_t StreamDecoder::leadFrames() const
{
    constexpr int usualRenderFrames = 1024;
    return 2 * std::int64_t(std::max(m_source.lastRenderFrames(), usualRenderFrames)) + AudioBlock::capacityFrames;
}

// At another speed every change starts the stretcher afresh, and a handle
// dragged asks for the next change before a render's worth of this one is
// made: each would be overtaken with too little for the output to take up.
// A change that keeps the position is made up to its lead even when
// overtaken, so that the output can take it up while the newest is made.
bool StreamDecoder::owesLead() const
{
    // Past a turn, or with a seek asked for since, it could
    // not be taken up (takesUpOvertaken): no use.
    if (m_speed == 1.0 || !m_capsLead || m_wraps + m_finishes + m_advances > 0 || !m_source.requestedKeepsPosition())
        return false;
    const std::int64_t from = std::max(m_source.outputPosition().nextFrame, m_start.frame);
    return std::llround(m_stretchSource) < from + std::llround(double(leadFrames()) * m_speed);
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
                const bool consumed = m_source.consumedGeneration() == working;
                if (consumed)
                    m_capsLead = false;  // taken up: the queue fills as usual
                if (!m_ended && queueHasRoom(working))
                    break;
                // Nothing plays the queue down while paused: sleep until
                // play, a request or the stop.
                m_caughtUp = true;
                if (m_ended || !m_source.playRequested())
                    m_wake.wait(lock);
                else
                    // Capped, the output may take the change up at any
                    // moment with only a few renders queued: look again soon.
                    m_wake.wait_for(lock, consumed && !m_capsLead ? refillInterval : staleDropInterval);
                m_caughtUp = false;
            }
        }
        if (fresh) {
            begin(*fresh, working);
            working = fresh->generation;
        }
        while (!m_ended && !m_stopping && (m_source.requestedGeneration() == working || owesLead()) && queueHasRoom(working))
            produce();
    }
}

LoopMarks StreamDecoder::marks() const
{
    LoopMarks marks;
    marks.wraps = m_wraps;
    marks.finishes = m_finishes;
    marks.advances = m_advances;
    marks.wrapsBeforeAdvance = m_wrapsBeforeAdvance;
    marks.jumpsAtBegin = m_jumpsAtBegin;
    marks.pass = m_plan ? std::uint32_t(m_passesDone + 1) : 0;
    marks.region = m_plan ? m_plan->region.serial : 0;
    return marks;
}

void StreamDecoder::begin(const PlaybackRequest& request, std::uint64_t previousGeneration)
{
    // The output plays what was made last, up to a queue's length behind the
    // decoder: a loop's passes go on from the one it plays (the decoder may
    // have turned, or finished the loop, already).
    // When the output has not played the last generation yet (it rests, or
    // the changes came quickly), it is where it was when that one began: the
    // count taken then still holds, where the decoder's own may have run
    // ahead by a turn or past the loop's end. Before the output has played
    // anything at all, nothing was heard: the count starts afresh.
    const PlaybackSource::OutputPosition output = m_source.outputPosition();
    const bool outputCurrent = output.known && output.generation == previousGeneration;
    const std::uint32_t requestedRegion = request.loop ? request.loop->region.serial : 0;
    bool sameLoop = false;
    if (outputCurrent)
        sameLoop = request.loop && output.region == requestedRegion;
    else if (m_countAtBegin)
        sameLoop = request.loop && m_countAtBegin->region == requestedRegion;
    // The passes heard, where they differ from those the new audio goes on
    // from: stopped at a turn's first frame, audio that keeps the position
    // takes that turn, but a seek made before it is played goes on in the
    // pass heard.
    int heardPassesDone = 0;
    if (!sameLoop) {
        m_passesDone = 0;
    } else if (outputCurrent) {
        // A seek goes on in the pass heard: the output may have stopped just
        // before a turn, the next pass's audio queued but not a frame of it
        // played. Audio that goes on from the output's place takes that turn.
        heardPassesDone = passesDoneBefore(output.heardPass);
        m_passesDone = request.keepsPosition ? passesDoneBefore(output.pass) : heardPassesDone;
    } else if (m_countAtBegin) {
        heardPassesDone = m_countAtBegin->heardPassesDone;
        // Played on in older audio since, the output may have taken the
        // turn it stood at then.
        if (output.known && output.generation < previousGeneration && output.region == m_countAtBegin->region)
            heardPassesDone = std::clamp(passesDoneBefore(output.heardPass), heardPassesDone,
                                         m_countAtBegin->passesDone);
        m_passesDone = request.keepsPosition ? m_countAtBegin->passesDone : heardPassesDone;
    }
    m_plan = request.loop;
    // The output may have heard the loop let go (its last pass ended, or it
    // moved on to the next region) before the main thread heard of that: a
    // request made meanwhile still carries the loop, which is over and is
    // not begun again. The new audio tells of it again, since the old may
    // not be heard long enough (a seek hears only the new).
    bool tookFinish = false;
    bool tookAdvance = false;
    if (m_plan && !sameLoop && (outputCurrent || m_countAtBegin)) {
        const std::uint32_t heardRegion = outputCurrent ? output.region : m_countAtBegin->region;
        if (m_plan->next && heardRegion == m_plan->next->serial) {
            m_plan->region = *m_plan->next;
            m_plan->next.reset();
            m_passesDone = outputCurrent ? passesDoneBefore(output.pass) : m_countAtBegin->passesDone;
            heardPassesDone = m_passesDone;
            sameLoop = true;  // a pause into it goes on
            tookAdvance = true;
        } else if (heardRegion == 0 && requestedRegion == m_finishedRegion) {
            m_plan.reset();
            tookFinish = true;
        }
    }
    if (outputCurrent || m_countAtBegin)
        m_countAtBegin = PassCount{m_passesDone, std::min(heardPassesDone, m_passesDone), m_plan ? m_plan->region.serial : 0};
    m_generation = request.generation;
    m_wraps = 0;  // counted afresh in each generation
    m_finishes = tookFinish ? 1 : 0;
    m_advances = tookAdvance ? 1 : 0;
    m_wrapsBeforeAdvance = 0;
    m_jumpsAtBegin = 0;
    m_pendingPauseFrames = 0;
    m_pendingPauseCountedTo = -1;
    m_fadeInAt = -1;

    m_speed = request.speed;
    std::int64_t from = request.frame;
    bool joins = false;
    std::int64_t positionCountedTo = -1;
    if (request.keepsPosition) {
        // Go on from where the output is, if it plays what was made last;
        // in a pause between passes, with the rest of the pause and then
        // the loop's start as it is now (it may just have been moved).
        // Otherwise the output still plays what came before the position
        // asked for (a seek it has not taken up): that position, a jump.
        const bool audible = m_source.audible();
        if (!outputCurrent && !audible && m_start.generation != 0 && m_start.generation == previousGeneration
            && previousGeneration >= request.positionGeneration) {
            // Silent, and not a frame of the last generation played yet:
            // where it began. (Sounding, the output may still be playing on
            // in older audio, and has moved on.)
            from = m_start.frame;
            m_pendingPauseFrames = m_start.pauseFrames;
            m_pendingPauseCountedTo = m_start.pauseCountedTo;
            joins = m_start.joins;
            positionCountedTo = m_start.positionCountedTo;
        } else if ((outputCurrent && previousGeneration >= request.positionGeneration)
                   || (!outputCurrent && audible && output.known && output.generation >= request.positionGeneration)) {
            // Where the output is. (Changes faster than it takes them up, a
            // handle dragged: it plays on in older audio along the same line,
            // or rests in a pause between passes, and is there, where the
            // main thread's heard position is a latency behind.)
            from = output.nextFrame;
            joins = true;
            positionCountedTo = output.renderEnd;
            if (sameLoop && output.pauseFramesLeft > 0) {
                // No longer than the pause now chosen (none: at once), after
                // the pass it follows (the loop may have moved on since).
                const bool afterMove = m_pauseBeforeMove && m_pauseBeforeMove->region == output.region
                    && m_pauseBeforeMove->pass == output.pass;
                const LoopRegion& passed = afterMove ? m_pauseBeforeMove->follows : m_plan->region;
                m_pendingPauseFrames = std::min(output.pauseFramesLeft, pauseFramesAfter(passed));
                m_pendingPauseCountedTo = output.renderEnd;
                from = m_plan->region.startFrame;
                joins = false;
                if (m_plan->passes > 0 && m_passesDone >= m_plan->passes) {
                    // Fewer passes chosen than were heard already: the pass
                    // before this pause was the last.
                    if (m_plan->next) {
                        m_plan->region = *m_plan->next;
                        m_plan->next.reset();
                        m_passesDone = 0;
                        ++m_advances;
                        m_wrapsBeforeAdvance = m_wraps;
                        from = m_plan->region.startFrame;
                    } else {
                        from = m_plan->region.endFrame;
                        m_pendingPauseFrames = 0;
                        finishLoop();
                    }
                    m_countAtBegin = PassCount{0, 0, m_plan ? m_plan->region.serial : 0};
                }
            }
        }
    }
    if (m_plan && from >= m_plan->region.endFrame) {
        // Already past the loop's end (it was moved before the play head, or
        // a seek went beyond it): the next audio is the loop start.
        from = m_plan->region.startFrame;
        ++m_wraps;
        m_jumpsAtBegin = 1;
        joins = false;
    }
    m_ended = false;
    if (!joins)
        positionCountedTo = -1;
    m_start = Start{m_generation, from, m_pendingPauseFrames, m_pendingPauseCountedTo, joins, positionCountedTo};
    m_positionCountedTo = positionCountedTo;
    // The output joins the stream's own audio where it has got to; stretched
    // audio on either side, not the stream's own, it crossfades there.
    m_nextBlockJoins = joins;
    // Until the output takes it up, a change that keeps the position is made
    // only a little ahead (see leadFrames).
    m_capsLead = request.keepsPosition && joins;
    if (m_speed == 1.0)
        m_stream->seek(from);
    else
        restartStretch(from);
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
    if (m_pendingPauseFrames > 0) {
        continuePause();
        return;
    }
    if (m_speed != 1.0) {
        produceStretched();
        return;
    }
    const Turn turn = upcomingTurn();
    const std::int64_t position = m_stream->position();
    if (turn == Turn::None) {
        readBlock(int(std::min<std::int64_t>(AudioBlock::capacityFrames, std::max<std::int64_t>(m_lengthFrames - position, 0))));
        return;
    }
    const std::int64_t end = m_plan->region.endFrame;
    const std::int64_t stopAt = turn == Turn::Finish ? end : end - junctionFrames(turn);
    if (position < stopAt) {
        const int frames = int(std::min<std::int64_t>(AudioBlock::capacityFrames, stopAt - position));
        // A last pass that ends with the track: nothing follows its last
        // block to carry the finish, so that block does.
        if (turn == Turn::Finish && position + frames >= m_lengthFrames)
            finishLoop();
        readBlock(frames);
        return;
    }
    if (turn == Turn::Finish) {
        finishLoop();  // play on past the end, the loop gone
        return;
    }
    makeJunction(turn);
}

// The pause after a pass of the region: a learner's turn, as long in wall
// time at any speed.
std::int64_t StreamDecoder::pauseFramesAfter(const LoopRegion& heard) const
{
    return m_plan->pause.kind == PassPause::Kind::LoopLength ? std::llround(double(heard.lengthFrames()) / m_speed)
                                                             : m_plan->pause.framesFor(heard, m_sampleRate);
}

// The last pass is over.
void StreamDecoder::finishLoop()
{
    m_finishedRegion = m_plan ? m_plan->region.serial : 0;
    m_plan.reset();
    m_passesDone = 0;
    ++m_finishes;
}

// An empty block of this generation at the current speed (the ring's blocks
// are reused, stretched ones among them), to be filled and published; none
// while the ring is full.
AudioBlock* StreamDecoder::nextBlock(std::int64_t startFrame, const LoopMarks& marks)
{
    AudioBlock* block = m_source.ring().writableBlock();
    if (!block)
        return nullptr;
    block->generation = m_generation;
    block->startFrame = startFrame;
    block->frames = 0;
    block->pauseFrames = 0;
    block->speed = m_speed;
    block->endOfStream = false;
    block->joinsInPlace = false;
    block->shaped = false;
    block->pauseCountedTo = -1;
    block->positionCountedTo = -1;
    block->marks = marks;
    return block;
}

// The rest of a pause between passes, then the loop's start coming in as
// after any pause.
void StreamDecoder::continuePause()
{
    const std::int64_t startFrame = m_speed == 1.0 ? m_stream->position() : std::llround(m_stretchSource);
    AudioBlock* block = nextBlock(startFrame, marks());
    if (!block)
        return;
    block->pauseFrames = std::exchange(m_pendingPauseFrames, 0);
    block->pauseCountedTo = std::exchange(m_pendingPauseCountedTo, -1);
    m_source.ring().publish();
    m_fadeInAt = 0;
}

void StreamDecoder::fadeInIfDue(AudioBlock& block)
{
    if (m_fadeInAt < 0)
        return;
    const int fade = m_source.fadeFrames();
    const int count = std::clamp(fade - m_fadeInAt, 0, block.frames);
    Crossfade::mix(nullptr, block.samples, block.samples, count, m_fadeInAt, fade);
    block.shaped = block.shaped || count > 0;
    m_fadeInAt += count;
    if (m_fadeInAt >= fade)
        m_fadeInAt = -1;
}

// Fills the next block with up to frames frames straight from the stream.
void StreamDecoder::readBlock(int frames)
{
    AudioBlock* block = nextBlock(m_stream->position(), marks());
    if (!block)
        return;
    block->joinsInPlace = m_nextBlockJoins;
    block->positionCountedTo = m_nextBlockJoins ? m_positionCountedTo : -1;
    block->frames = frames > 0 ? m_stream->read(block->samples, frames) : 0;
    fadeInIfDue(*block);
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
    const std::int64_t tailStart = m_stream->position();
    const int fade = int(std::clamp<std::int64_t>(m_plan->region.endFrame - tailStart, 0, AudioBlock::capacityFrames));
    std::fill(m_tail.begin(), m_tail.end(), 0.0f);
    m_stream->read(m_tail.data(), fade);
    joinRegions(turn, m_tail.data(), fade, tailStart);
}

// The tail (the last frames before the end, as heard) meets the head (the
// first frames from the start): both fade, or with a pause between passes
// the tail fades out, exact silence follows and the head fades in.
void StreamDecoder::joinRegions(Turn turn, const float* tail, int fade, std::int64_t tailStart)
{
    BlockRing& ring = m_source.ring();
    const LoopRegion heard = m_plan->region;
    const LoopRegion target = turn == Turn::Advance ? *m_plan->next : heard;
    const LoopMarks before = marks();
    if (turn == Turn::Wrap) {
        ++m_passesDone;
        ++m_wraps;
    } else {
        m_plan->region = target;
        m_plan->next.reset();
        m_passesDone = 0;
        ++m_advances;
        m_wrapsBeforeAdvance = m_wraps;
    }
    const LoopMarks after = marks();
    std::fill(m_head.begin(), m_head.end(), 0.0f);
    int headFrames = 0;
    if (m_speed == 1.0) {
        m_stream->seek(target.startFrame);
        headFrames = m_stream->read(m_head.data(), fade);
    } else {
        restartStretch(target.startFrame, true);
        // Toward where the coming pass stops: a short loop's pass may be
        // over within the head, and a last one goes on into the track.
        const bool finishes = upcomingTurn() == Turn::Finish;
        feedStretcher(finishes ? m_lengthFrames : m_plan->region.endFrame, fade, !finishes);
        headFrames = m_stretcher->take(m_head.data(), fade);
        m_stretchSource += headFrames * m_speed;
    }
    // The data running out inside the head (a damaged file) is its end.
    const bool endsHere = headFrames < fade && (m_speed == 1.0 || m_stretchFlushed);

    const std::int64_t pauseFrames = pauseFramesAfter(heard);
    if (pauseFrames > 0) {
        if (turn == Turn::Advance)
            m_pauseBeforeMove = PauseBeforeMove{after.region, after.pass, heard};
        AudioBlock* out = nextBlock(tailStart, before);
        out->frames = fade;
        out->shaped = true;
        Crossfade::mix(tail, nullptr, out->samples, fade, 0, fade);
        if (fade > 0)
            ring.publish();
        nextBlock(target.startFrame, after)->pauseFrames = pauseFrames;
        ring.publish();
    }
    if (fade > 0) {
        AudioBlock* in = nextBlock(target.startFrame, after);
        in->frames = fade;
        in->shaped = true;
        Crossfade::mix(pauseFrames > 0 ? nullptr : tail, m_head.data(), in->samples, fade, 0, fade);
        in->endOfStream = endsHere;
        ring.publish();
    }
    if (endsHere) {
        m_ended = true;
        noteEarlyEnd();
    }
}

// Starts the stretcher afresh at a stream frame, primed with the audio just
// before it, so that its first frame out is that frame's.
void StreamDecoder::restartStretch(std::int64_t from, bool warm)
{
    if (!m_stretcher)
        m_stretcher = std::make_unique<TimeStretcher>(m_sampleRate, m_speed);
    const int lead = int(std::min<std::int64_t>(m_stretcher->leadFrames(warm), std::max<std::int64_t>(from, 0)));
    std::vector<float>& buffer = m_stretchBuffer;
    buffer.resize(std::max<std::size_t>(buffer.size(), std::size_t(std::max(lead, 4096)) * AudioBlock::channels));
    m_stream->seek(from - lead);
    const int got = m_stream->read(buffer.data(), lead);
    m_stretcher->restart(m_speed, buffer.data(), got, warm);
    m_stream->seek(from);
    m_stretchFrom = from;
    m_stretchSource = double(from);
    m_stretchFlushed = false;
    m_stretchRanDry = false;
}

// Feeds the stretcher from the stream until it has ready frames or nothing
// more will come, and tells it to give out all it holds where the feed
// stops: at sourceEnd, or, running on (a loop's end), as far past it as the
// stretcher's windows reach, its output cut at sourceEnd. (Told there, its
// last windows would fade into the silence it pads with: a dip at every
// turn.) Returns how many are ready.
int StreamDecoder::feedStretcher(std::int64_t sourceEnd, int ready, bool runsOn)
{
    std::vector<float>& buffer = m_stretchBuffer;
    const std::int64_t feedEnd = runsOn ? std::min(sourceEnd + m_stretcher->runOutFrames(), m_lengthFrames) : sourceEnd;
    while (m_stretcher->available() < ready && !m_stretchFlushed) {
        const std::int64_t position = m_stream->position();
        const int wanted = std::clamp(m_stretcher->inputWanted(), 256, 2048);
        const int count = int(std::clamp<std::int64_t>(feedEnd - position, 0, wanted));
        const int got = count > 0 ? m_stream->read(buffer.data(), count) : 0;
        const bool pastEnd = runsOn && position + got >= sourceEnd;
        const bool last = got < wanted || position + got >= feedEnd;
        m_stretcher->put(buffer.data(), got, last);
        if (pastEnd)
            m_stretcher->endOutputAt(std::max<std::int64_t>(0, sourceEnd - m_stretchFrom));
        m_stretchFlushed = last;
        m_stretchRanDry = got < count && !pastEnd;
    }
    return m_stretcher->available();
}

void StreamDecoder::publishStretched(const float* frames, int count, bool endOfStream)
{
    AudioBlock* block = nextBlock(std::llround(m_stretchSource), marks());
    if (!block)
        return;
    block->joinsInPlace = m_nextBlockJoins;
    block->positionCountedTo = m_nextBlockJoins ? m_positionCountedTo : -1;
    m_nextBlockJoins = false;
    block->frames = count;
    block->endOfStream = endOfStream;
    std::copy_n(frames, std::size_t(count) * AudioBlock::channels, block->samples);
    fadeInIfDue(*block);
    m_stretchSource += count * m_speed;
    m_source.ring().publish();
    m_ended = endOfStream;
}

// The stretched stream, a block at a time: up to the loop's end (the
// stretcher fed to its exact frame and emptied), then the joint into the
// loop's start; or to the end of the track. A last pass runs on past the
// loop's end through the same stretcher, as the track does at 1x: a
// stretcher started afresh there would not join its sound.
void StreamDecoder::produceStretched()
{
    Turn turn = upcomingTurn();
    bool joint = turn == Turn::Wrap || turn == Turn::Advance;
    const std::int64_t end = joint ? m_plan->region.endFrame : m_lengthFrames;
    // The joint's tail (the last frames before the end) stays in the
    // stretcher until everything before it is out.
    int keep = joint ? junctionFrames(turn) : 0;
    const int ready = feedStretcher(end, AudioBlock::capacityFrames + keep, joint);
    if (joint && m_stretchRanDry) {
        // The data ends before the loop does (a file cut short since it was
        // opened): the track ends there, as it does at 1x. Turning would
        // make passes of nothing, without end.
        turn = Turn::None;
        joint = false;
        keep = 0;
    }
    int take = std::min(AudioBlock::capacityFrames, ready - keep);
    if (take > 0) {
        // A block ends where the loop does; the blocks from there on carry
        // its finish.
        if (turn == Turn::Finish) {
            const double toEnd = (double(m_plan->region.endFrame) - m_stretchSource) / m_speed;
            if (toEnd > 0)
                take = std::min(take, std::max(1, int(std::ceil(toEnd))));
            else
                finishLoop();
        }
        const int got = m_stretcher->take(m_stretchBuffer.data(), take);
        const bool lastOfTrack = !joint && m_stretchFlushed && m_stretcher->available() == 0;
        // A last pass that ends with the track: its last block carries the finish.
        if (lastOfTrack && upcomingTurn() == Turn::Finish)
            finishLoop();
        publishStretched(m_stretchBuffer.data(), got, lastOfTrack);
        if (lastOfTrack)
            noteEarlyEnd();
        return;
    }
    if (!m_stretchFlushed)
        return;  // (only with a stretcher that gives out nothing: wait for more room)
    switch (turn) {
    case Turn::Finish:
        finishLoop();
        [[fallthrough]];
    case Turn::None:
        publishStretched(m_stretchBuffer.data(), 0, true);
        noteEarlyEnd();
        return;
    case Turn::Wrap:
    case Turn::Advance: {
        const std::int64_t tailStart = std::llround(m_stretchSource);
        const int tailFrames = m_stretcher->take(m_tail.data(), keep);
        joinRegions(turn, m_tail.data(), tailFrames, tailStart);
        return;
    }
    }
}

// A file cut short or overwritten after it was opened, or one that cannot be
// read any further, ends before its stated length. Playback then ends there
// as at a real end; the line says why, once per load.
void StreamDecoder::noteEarlyEnd()
{
    const std::int64_t endFrame = m_stream->position();
    if (m_stream->readError() != 0 && !m_stopping)
        m_readFailedAtFrame.store(endFrame, std::memory_order_release);
    // A read that hung until the track was left is no news about it.
    if (m_reportedEarlyEnd || m_stopping || endFrame + m_sampleRate / earlyEndToleranceDivisor >= m_lengthFrames)
        return;
    // A length only estimated (not counted in time) promised nothing: the
    // data ending before it is the real end, unless reading failed.
    if (m_stream->lengthEstimated() && m_stream->readError() == 0)
        return;
    m_reportedEarlyEnd = true;
    const int error = m_stream->readError();
    const QString reason = error ? Ffmpeg::errorText(error) : QStringLiteral("no more data");
    const double endSeconds = std::round(double(endFrame) * 1000 / m_sampleRate) / 1000;
    Log::line(QStringLiteral("Track ends early: %1: %2, at %3 s of %4 s")
                  .arg(m_path, reason, Log::formatDouble(endSeconds),
                       Log::formatDouble(m_stream->durationSeconds())));
}
