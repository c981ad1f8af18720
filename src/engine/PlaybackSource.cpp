#include "engine/PlaybackSource.h"

#include "engine/Crossfade.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

PlaybackSource::PlaybackSource(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_fadeFrames(std::clamp(Crossfade::framesAt(sampleRate), 1, AudioBlock::capacityFrames))
    , m_ring(ringBlocks)
    , m_tail(std::size_t(m_fadeFrames) * AudioBlock::channels, 0.0f)
{
    m_published.store(m_timeline);
    m_outputPosition.store({});
}

std::int64_t PlaybackSource::streamFrameOf(const AudioBlock& block, std::int64_t offset)
{
    return block.startFrame + (block.speed == 1.0 ? offset : std::llround(double(offset) * block.speed));
}

void PlaybackSource::releaseFront()
{
    m_ring.release();
    m_offset = 0;
    m_reachedKnown = false;
}

// A pause's rest taken up at a device frame past the one it was counted to:
// the time between went by in the pause (the old one played on, or silence
// while the change was made), so less of it is left.
void PlaybackSource::skipPauseElapsed(std::int64_t atDeviceFrame)
{
    const AudioBlock* front = m_ring.readableBlock();
    if (!front || front->generation != m_serving || !front->isPause() || front->pauseCountedTo < 0 || m_offset > 0)
        return;
    const std::int64_t elapsed = atDeviceFrame - front->pauseCountedTo;
    if (elapsed <= 0)
        return;
    if (elapsed >= front->pauseFrames)
        releaseFront();
    else
        m_offset = elapsed;
    // What went out was the pause's silence: the loop's start comes in as
    // from silence, once a whole render's worth of it is here, not from
    // whatever the end of the pause leaves.
    m_sounding = false;
}

void PlaybackSource::dropBlocksBefore(int index)
{
    for (int i = 0; i < index; ++i)
        releaseFront();
}

void PlaybackSource::record(std::int64_t deviceFrame, const AudioBlock& block, std::int64_t streamFrame, int frames,
                            bool held)
{
    // A pause's piece knows how much of the pause follows it (m_offset is
    // where the piece begins).
    const std::int64_t pauseAfter = held ? std::max<std::int64_t>(0, block.pauseFrames - m_offset - frames) : 0;
    m_timeline.append(
        {deviceFrame, streamFrame, frames, held ? 1 : 0, pauseAfter, held ? 1.0 : block.speed, block.generation, block.marks});
}

void PlaybackSource::publishPosition(std::int64_t renderEnd, bool play)
{
    const AudioBlock* front = m_ring.readableBlock();
    OutputPosition position = m_outputPosition.load();
    // Where neither the queue nor what was heard tells of the served audio
    // (taken up without a frame of it played, then dropped for a change not
    // decoded yet), the position stays as it was, counted to the frame it
    // was counted to: a change made from it then takes off all the silence
    // played since.
    if (front && front->generation == m_serving) {
        position.renderEnd = renderEnd;
        position.generation = m_serving;
        position.nextFrame = front->isPause() ? front->startFrame : streamFrameOf(*front, m_offset);
        position.known = 1;
        position.pauseFramesLeft = front->isPause() ? front->pauseFrames - m_offset : 0;
        position.pass = front->marks.pass;
        position.region = front->marks.region;
        // Not a frame of the front played yet (a pause's rest taken up past
        // where it was counted to was not played here either): the pass
        // heard is the one before it, also where a change that kept the
        // position was taken up at a turn's first frame (the same loop,
        // counted on); of another loop, nothing of this one was heard.
        const HeardSegment* newest = m_timeline.segmentCount > 0 ? &m_timeline.newest() : nullptr;
        const bool restHeard = newest && newest->generation == m_serving && newest->held;
        const bool played = m_offset > 0 && (!front->isPause() || restHeard);
        const bool untouched = !played && newest
            && (newest->generation == m_serving || newest->marks.region == front->marks.region);
        position.heardPass = untouched ? newest->marks.pass : front->marks.pass;
    } else if (m_timeline.segmentCount > 0 && m_timeline.newest().generation == m_serving) {
        const HeardSegment& newest = m_timeline.newest();
        position.renderEnd = renderEnd;
        position.generation = m_serving;
        position.nextFrame = newest.streamEnd();
        position.known = 1;
        // Its blocks dropped (a change not made yet while the output went on
        // in silence), a pause still has its rest to come, less the silence
        // played since its last piece: that was the pause too.
        const std::int64_t silentSince = play ? std::max<std::int64_t>(0, renderEnd - newest.deviceEnd()) : 0;
        position.pauseFramesLeft = newest.held ? std::max<std::int64_t>(0, newest.pauseAfter - silentSince) : 0;
        position.pass = newest.marks.pass;
        position.region = newest.marks.region;
        position.heardPass = newest.marks.pass;
    }
    m_outputPosition.store(position);
}

int PlaybackSource::mixInto(float* out, int frames, std::int64_t deviceFrame, std::int64_t nowNs, std::int64_t latencyNs)
{
    m_lastRenderFrames.store(frames, std::memory_order_relaxed);
    m_timeline.anchorDeviceFrame = deviceFrame;
    m_timeline.anchorTimeNs = nowNs + latencyNs;
    const bool play = m_playRequested.load(std::memory_order_acquire);
    // A new volume comes in over a fade's length while sound goes out: a
    // step would click.
    m_rampFromGain = m_rampToGain;
    m_rampToGain = m_gain.load(std::memory_order_relaxed);
    m_rampFrames = m_sounding && m_rampFromGain != m_rampToGain ? std::min(frames, m_fadeFrames) : 0;
    int written = 0;

    const std::uint64_t wanted = requestedGeneration();
    if (!play) {
        // A pause (or a stop): the sound dies away where it is, and only
        // then is whatever was asked for in the meantime taken up.
        if (m_sounding)
            written = fadeOutInto(out, frames, deviceFrame);
        m_sounding = false;
        m_resumeSkipsPause = true;
        if (wanted != m_serving)
            switchTo(wanted, false, frames, deviceFrame + frames);
    } else if (wanted != m_serving && !switchTo(wanted, true, frames, deviceFrame)
               && !takesUpOvertaken(wanted, frames, deviceFrame)
               && !(playsOnUntil(wanted, frames) && !turnQueuedWithin(frames + m_fadeFrames))
               && !playsOnAfterJump(wanted, frames)) {
        // The new position is not decoded yet: let the old one die away
        // rather than cut it, and wait in silence. The same sound at another
        // pace or in a moved loop dies away just before its turn (it stops
        // playing on a fade before it): the new audio, begun before the
        // turn, takes the turn itself (played on into the next pass, the
        // old would have the turn heard twice).
        if (m_sounding)
            written = fadeOutInto(out, frames, deviceFrame, keepsPosition(wanted));
        m_sounding = false;
        switchTo(wanted, false, frames, deviceFrame + frames);
    } else {
        if (m_resumeSkipsPause) {
            // Resumed in a pause between passes: the rest of it is skipped.
            const AudioBlock* front = m_ring.readableBlock();
            if (front && front->generation == m_serving && front->isPause())
                releaseFront();
            m_resumeSkipsPause = false;
        }
        // From silence, sound starts once a whole render's worth is here:
        // begun and then run dry (the stretcher's first blocks come
        // slowly), it would be cut off.
        if (m_sounding || framesQueued(0, m_serving, frames) == frames) {
            if (!m_sounding && m_junctionAt < 0)
                startJunction(false);  // from silence: fade in
            written = playInto(out, frames, deviceFrame);
            if (written > 0)
                m_sounding = true;
        }
    }
    publishPosition(deviceFrame + frames, play);
    m_published.store(m_timeline);
    m_audible.store(m_sounding, std::memory_order_release);
    return written;
}

// Makes the wanted generation the one served, once its first block is here;
// while sound goes out, once a whole render's worth of it is (joined, and
// then run dry, it would be cut).
bool PlaybackSource::switchTo(std::uint64_t wanted, bool play, int frames, std::int64_t atDeviceFrame)
{
    int index = 0;
    const AudioBlock* block = nullptr;
    while ((block = m_ring.peek(index)) && block->generation != wanted)
        ++index;
    if (!block) {
        // Not decoded yet. Silent (paused, or faded out already), the stale
        // audio goes at once to make room for it; sounding, it goes once it
        // has faded out.
        if (!play || !m_sounding)
            dropStale(index);
        return false;
    }
    const bool sounding = play && m_sounding;
    if (sounding && block->joinsInPlace && servedFrontShaped() && playsOnUntil(wanted, frames))
        return false;  // joined in a joint or a fade, it would cut it: once past it
    // The stream's own audio joins the stream's own seamlessly.
    const bool seamless = block->joinsInPlace && block->speed == 1.0;
    std::int64_t playedOn = 0;
    if (sounding) {
        // Joined in place, the new audio is taken up where the output has
        // got to, past its first frames; crossfaded there (stretched audio
        // on either side), past as many.
        const std::optional<std::int64_t> reached = seamless ? reachedInServed(index) : std::nullopt;
        const std::int64_t passed = reached ? std::max<std::int64_t>(0, *reached - block->startFrame) : 0;
        playedOn = block->joinsInPlace && !reached ? playedOnPast(index) : 0;
        const int needed = int(std::min<std::int64_t>(frames + passed + playedOn, std::numeric_limits<int>::max()));
        if (framesQueued(index, wanted, needed) < needed)
            return false;
    } else if (block->joinsInPlace) {
        // Come in from silence after the old audio played on past where the
        // new begins: taken up once what it played is queued to be passed
        // over (the stretcher's first blocks come one by one).
        playedOn = heardPast(index);
        if (playedOn > 0 && !queuedThrough(index, playedOn)) {
            dropStale(index);
            return false;
        }
    }
    bool joined = false;
    if (seamless)
        joined = joinInPlace(index);
    if (!joined) {
        if (sounding)
            captureTail();
        dropBlocksBefore(index);
        if (sounding)
            startJunction(true);
    }
    m_serving = wanted;
    m_playedOnAfterJump = 0;
    m_consumedGeneration.store(wanted, std::memory_order_release);
    if (!joined && playedOn > 0)
        skipServed(playedOn);
    skipPauseElapsed(atDeviceFrame);
    return true;
}

// The frames of a generation queued from the block at fromIndex on (the
// served one from where the output is), up to atMost; a stream that ends
// among them has all it needs.
int PlaybackSource::framesQueued(int fromIndex, std::uint64_t generation, int atMost)
{
    std::int64_t queued = 0;
    for (int index = fromIndex; queued < atMost; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != generation)
            break;
        const std::int64_t offset = index == 0 && generation == m_serving ? m_offset : 0;
        queued += (block->isPause() ? block->pauseFrames : block->frames) - offset;
        if (block->endOfStream)
            return atMost;
    }
    return int(std::min<std::int64_t>(queued, atMost));
}

// The served audio queued from where the output is, up to atMost: as far as
// a pause, another generation or the stream's end (or, withinPass, a turn).
int PlaybackSource::audioFramesQueued(int atMost, bool withinPass)
{
    const AudioBlock* front = m_ring.readableBlock();
    std::int64_t queued = 0;
    for (int index = 0; queued < atMost; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != m_serving || block->isPause() || (withinPass && !(block->marks == front->marks)))
            break;
        queued += block->frames - (index == 0 ? m_offset : 0);
        if (block->endOfStream)
            break;
    }
    return int(std::min<std::int64_t>(queued, atMost));
}

// The loop or the speed changed, not the position: the audio queued is what
// the new audio will be up to the next turn (at another speed, the same
// sound at another pace), so it plays on (to be joined when the new is here:
// a stretcher started afresh takes a render's time or so) rather than dying
// away for a gap. Not through a turn: past it the new loop may turn
// elsewhere, and the new audio, begun where the output was, could no longer
// be joined.
bool PlaybackSource::playsOnUntil(std::uint64_t wanted, int frames)
{
    return keepsPosition(wanted) && servedHoldsWithoutTurn(frames);
}

// A jump (a seek) whose audio is not here yet: the old position plays on a
// little (a stretcher starting afresh takes about a buffer's time) and is
// crossfaded into the new once that is here, rather than dying away into a
// gap. Not for long: a slow jump (far into a long file) would sound like a
// key that did nothing, so after that the old dies away and the new comes
// in from silence. The old is never played on to its last frame: a fade's
// worth is kept, for the crossfade or to die away over (a loop change's
// old audio may go to its end: the new, the same sound, joins it there).
bool PlaybackSource::playsOnAfterJump(std::uint64_t wanted, int frames)
{
    // (A change that keeps the position was weighed by playsOnUntil.)
    const std::int64_t limit = std::int64_t(m_sampleRate) * playOnAfterJumpMilliseconds / 1000;
    if (keepsPosition(wanted) || m_playedOnAfterJump + frames > limit
        || !servedHoldsWithoutTurn(frames + m_fadeFrames))
        return false;
    m_playedOnAfterJump += frames;
    return true;
}

// Whether frames of the served audio are queued, sounding, from where the
// output is, with no turn, pause or end in them.
bool PlaybackSource::servedHoldsWithoutTurn(int frames)
{
    const AudioBlock* front = m_ring.readableBlock();
    if (!m_sounding || !front || front->generation != m_serving)
        return false;
    std::int64_t queued = -m_offset;
    for (int index = 0; queued < frames; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != m_serving || block->isPause() || block->endOfStream
            || !(block->marks == front->marks))
            return false;
        queued += block->frames;
    }
    return true;
}

// Whether a turn, a pause or the end of the served audio is queued within
// frames of where the output is. Stretched, so is the end of what is
// queued (a change overtaken while it was made): the change's audio is
// crossfaded in, not joined where the old runs out, which would cut it off.
bool PlaybackSource::turnQueuedWithin(int frames)
{
    const AudioBlock* front = m_ring.readableBlock();
    if (!front || front->generation != m_serving)
        return false;
    std::int64_t queued = -m_offset;
    for (int index = 0; queued < frames; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != m_serving)
            return front->speed != 1.0;
        if (block->isPause() || block->endOfStream || !(block->marks == front->marks))
            return true;
        queued += block->frames;
    }
    return false;
}

// The loop changed again before the last change's audio was here (a handle
// dragged faster than the device's buffers): a change the newest one
// overtook, joined where the output is and holding a render's worth with no
// turn in it, is the same sound until the newest is here. Taken up (the
// newest of those), it lets go of the old audio queued in front of it, and
// with it of the room the newest needs; played on instead, the old audio
// would keep the queue full, and the newest could never get ahead of the
// output.
bool PlaybackSource::takesUpOvertaken(std::uint64_t wanted, int frames, std::int64_t atDeviceFrame)
{
    if (!m_sounding || !keepsPosition(wanted)
        || (servedFrontShaped() && playsOnUntil(wanted, frames)))
        return false;
    // Where the output is in the served audio, for every candidate of the
    // stream's own audio; none when what is served is stretched.
    const std::optional<std::int64_t> reached = reachedInServed(1);
    const AudioBlock* front = m_ring.readableBlock();
    const bool frontServed = front && front->generation == m_serving && !front->isPause();
    std::optional<std::uint64_t> newest;
    for (int index = 0;; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation == wanted)
            break;
        const AudioBlock* before = index > 0 ? m_ring.peek(index - 1) : nullptr;
        if (block->generation == m_serving || (before && before->generation == block->generation))
            continue;
        // A generation's first block: joined in place, the loop's marks as
        // they were (no turn, nothing let go), and a render's worth with
        // none past where the output is (the stream's own audio), or past
        // what the output will have played on beyond its start (stretched
        // audio, crossfaded there).
        if (!block->joinsInPlace || !(block->marks == LoopMarks{0, 0, 0, block->marks.pass, block->marks.region, 0, 0}))
            continue;
        std::int64_t needed = 0;
        if (block->speed == 1.0) {
            if (!reached || *reached < block->startFrame)
                continue;
            needed = *reached - block->startFrame + frames;
        } else {
            if (!frontServed || streamFrameOf(*front, m_offset) < block->startFrame)
                continue;
            needed = playedOnPast(index) + frames;
        }
        std::int64_t covered = 0;
        bool turns = false;
        for (int ahead = index; covered < needed; ++ahead) {
            const AudioBlock* next = m_ring.peek(ahead);
            if (!next || next->generation != block->generation || next->isPause() || !(next->marks == block->marks)
                || next->endOfStream) {
                turns = true;
                break;
            }
            covered += next->frames;
        }
        if (!turns)
            newest = block->generation;
    }
    return newest && switchTo(*newest, true, frames, atDeviceFrame);
}

// The output is at a block of the served audio that was faded or
// crossfaded (a turn's joint): the new audio, the stream's own, joined there
// would cut it. The served audio then plays on past it, where it can (not
// into a pause: the fade before one is joined as it stands).
bool PlaybackSource::servedFrontShaped()
{
    const AudioBlock* front = m_ring.readableBlock();
    return front && front->generation == m_serving && front->shaped;
}

float PlaybackSource::gainAt(int renderFrame) const
{
    if (renderFrame >= m_rampFrames)
        return m_rampToGain;
    return m_rampFromGain + (m_rampToGain - m_rampFromGain) * float(renderFrame) / float(m_rampFrames);
}

// Drops the blocks of generations no longer wanted, remembering where the
// output had got to in them.
void PlaybackSource::dropStale(int count)
{
    const AudioBlock* front = m_ring.readableBlock();
    const bool known = front && count > 0 && front->generation == m_serving;
    const std::int64_t reached = known ? (front->isPause() ? front->startFrame : streamFrameOf(*front, m_offset)) : 0;
    dropBlocksBefore(count);
    if (known) {
        m_reached = reached;
        m_reachedKnown = true;
    }
}

// The loop changed but not the position: the new blocks hold the same audio
// as the old ones up to where the loop now turns, so the output takes them up
// at the frame it has reached, with nothing to hear at the seam. Stretched
// audio being played is not the stream's own: the new joins it with a fade.
bool PlaybackSource::joinInPlace(int wantedIndex)
{
    const std::optional<std::int64_t> reachedFrame = reachedInServed(wantedIndex);
    if (!reachedFrame)
        return false;
    const std::int64_t reached = *reachedFrame;
    const std::uint64_t generation = m_ring.peek(wantedIndex)->generation;
    for (int index = wantedIndex;; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != generation || block->isPause())
            return false;
        if (reached < block->startFrame)
            return false;  // the new audio starts later than the output is: a jump after all
        if (reached < block->startFrame + block->frames) {
            dropBlocksBefore(index);
            m_offset = reached - block->startFrame;
            return true;
        }
        if (block->endOfStream)
            return false;
    }
}

// The stream frame the output has got to in the stream's own audio being
// served, with the wanted generation's first block at wantedIndex: the next
// frame of the block in front, or, played to its end (all of it played on,
// or dropped unheard), where it ended. None in a pause or stretched audio.
// Blocks in front of the wanted ones that are not the served generation's
// are changes overtaken before they were taken up: the served audio was
// played to its end.
std::optional<std::int64_t> PlaybackSource::reachedInServed(int wantedIndex)
{
    const AudioBlock* front = m_ring.readableBlock();
    if (front && wantedIndex > 0 && front->generation == m_serving)
        return !front->isPause() && front->speed == 1.0 ? std::optional(streamFrameOf(*front, m_offset)) : std::nullopt;
    if (m_reachedKnown)
        return m_reached;
    if (m_timeline.segmentCount > 0) {
        const HeardSegment& last = m_timeline.newest();
        if (last.generation == m_serving && !last.held && last.speed == 1.0)
            return last.streamEnd();
    }
    return std::nullopt;
}

// How far the output has played on in the audio served past where the
// wanted audio (its first block at wantedIndex) begins, in the wanted
// audio's frames: crossfaded into it, those are not played twice.
std::int64_t PlaybackSource::playedOnPast(int wantedIndex)
{
    const AudioBlock* front = m_ring.readableBlock();
    const AudioBlock* wantedFirst = m_ring.peek(wantedIndex);
    if (wantedIndex == 0 || !front || !wantedFirst || front->generation != m_serving || front->isPause()
        || wantedFirst->isPause())
        return 0;
    const std::int64_t ahead = streamFrameOf(*front, m_offset) - wantedFirst->startFrame;
    return ahead > 0 ? std::llround(double(ahead) / wantedFirst->speed) : 0;
}

// What the output played of the served audio past where the wanted audio
// (its first block at wantedIndex) begins, in the wanted audio's frames:
// what it played since the place the new audio goes on from was counted,
// back along its sound without a break (a turn, a pause, silence). Taken up
// after the old audio died away (it played on meanwhile), the new audio
// does not play that again. (The pieces of a stretch of sound may be
// several: another generation taken up on the way, or stretched pieces
// whose stream frames were rounded apart.)
std::int64_t PlaybackSource::heardPast(int wantedIndex)
{
    const AudioBlock* wantedFirst = m_ring.peek(wantedIndex);
    if (!wantedFirst || wantedFirst->positionCountedTo < 0 || m_timeline.segmentCount == 0)
        return 0;
    const std::int64_t countedTo = wantedFirst->positionCountedTo;
    if (m_timeline.newest().generation != m_serving || countedTo >= m_timeline.newest().deviceEnd())
        return 0;
    const std::int64_t oldest = std::max<std::int64_t>(0, m_timeline.segmentCount - HeardTimeline::segmentCapacity);
    std::int64_t played = 0;
    const HeardSegment* later = nullptr;
    for (std::int64_t n = m_timeline.segmentCount - 1; n >= oldest; --n) {
        const HeardSegment& piece = m_timeline.segments[n % HeardTimeline::segmentCapacity];
        if (piece.held)
            return 0;
        if (later
            && (piece.deviceEnd() != later->deviceFrame || piece.marks.pass != later->marks.pass
                || piece.marks.region != later->marks.region
                || (piece.generation == later->generation && !(piece.marks == later->marks))))
            return 0;
        if (countedTo >= piece.deviceFrame)
            return std::llround(double(played + piece.streamEnd() - piece.streamAt(countedTo - piece.deviceFrame))
                                / wantedFirst->speed);
        played += piece.streamEnd() - piece.streamFrame;
        later = &piece;
    }
    // Unbroken further back than the timeline keeps (many small buffers):
    // from where the new audio begins to the oldest piece kept.
    if (!later || later->marks.pass != wantedFirst->marks.pass || later->marks.region != wantedFirst->marks.region)
        return 0;
    return std::llround(double(played + std::max<std::int64_t>(0, later->streamFrame - wantedFirst->startFrame))
                        / wantedFirst->speed);
}

// Whether frames of the generation whose first block is at fromIndex are
// queued, or a turn, pause or end within them.
bool PlaybackSource::queuedThrough(int fromIndex, std::int64_t frames)
{
    const AudioBlock* first = m_ring.peek(fromIndex);
    std::int64_t queued = 0;
    for (int index = fromIndex; queued < frames; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != first->generation)
            return false;
        if (block->isPause() || block->endOfStream || !(block->marks == first->marks))
            return true;
        queued += block->frames;
    }
    return true;
}

// Passes over frames of the audio served, as far as its next turn, pause or
// end.
void PlaybackSource::skipServed(std::int64_t frames)
{
    const AudioBlock* first = m_ring.readableBlock();
    const LoopMarks marks = first ? first->marks : LoopMarks{};
    while (frames > 0) {
        const AudioBlock* block = m_ring.readableBlock();
        if (!block || block->generation != m_serving || block->isPause() || !(block->marks == marks))
            return;
        const std::int64_t left = block->frames - m_offset;
        if (frames < left || block->endOfStream) {
            m_offset += std::min(frames, left);
            return;
        }
        frames -= left;
        releaseFront();
    }
}

// Copies the next fade's worth of the audio being served (less when there is
// less), to fade out of while the new audio fades in.
void PlaybackSource::captureTail()
{
    std::fill(m_tail.begin(), m_tail.end(), 0.0f);
    int captured = 0;
    std::int64_t offset = m_offset;
    for (int index = 0; captured < m_fadeFrames; ++index) {
        const AudioBlock* block = m_ring.peek(index);
        if (!block || block->generation != m_serving || block->isPause())
            break;
        const int count = int(std::min<std::int64_t>(block->frames - offset, m_fadeFrames - captured));
        std::copy_n(block->samples + offset * AudioBlock::channels, std::size_t(count) * AudioBlock::channels,
                    m_tail.begin() + std::ptrdiff_t(captured) * AudioBlock::channels);
        captured += count;
        offset = 0;
        if (block->endOfStream)
            break;
    }
}

void PlaybackSource::startJunction(bool withTail)
{
    if (!withTail)
        std::fill(m_tail.begin(), m_tail.end(), 0.0f);
    m_junctionHasTail = withTail;
    m_junctionAt = 0;
}

int PlaybackSource::playInto(float* out, int frames, std::int64_t deviceFrame)
{
    int done = 0;
    while (done < frames) {
        AudioBlock* block = m_ring.readableBlock();
        if (!block || block->generation != m_serving)
            break;
        float* to = out + std::ptrdiff_t(done) * AudioBlock::channels;
        if (block->isPause()) {
            const int count = int(std::min<std::int64_t>(block->pauseFrames - m_offset, frames - done));
            // Silence, unless a junction is still fading out of what came before.
            fadeTailInto(out, done, count);
            record(deviceFrame + done, *block, block->startFrame, count, true);
            m_offset += count;
            done += count;
            if (m_offset >= block->pauseFrames)
                releaseFront();
            continue;
        }
        const int count = int(std::min<std::int64_t>(block->frames - m_offset, frames - done));
        const float* from = block->samples + m_offset * AudioBlock::channels;
        // Within a junction, what played before fades out as this fades in;
        // within the volume's ramp, the gain moves frame by frame.
        const int junctionAt = m_junctionAt;
        const int fading = fadeTailInto(out, done, count);
        const int shaped = std::max(fading, std::clamp(m_rampFrames - done, 0, count));
        for (int f = 0; f < shaped; ++f) {
            const float gain = gainAt(done + f) * (f < fading ? Crossfade::fadeInGain(junctionAt + f, m_fadeFrames) : 1.0f);
            for (int c = 0; c < AudioBlock::channels; ++c)
                to[f * AudioBlock::channels + c] += from[f * AudioBlock::channels + c] * gain;
        }
        for (int i = shaped * AudioBlock::channels; i < count * AudioBlock::channels; ++i)
            to[i] += from[i] * m_rampToGain;
        record(deviceFrame + done, *block, streamFrameOf(*block, m_offset), count, false);
        m_offset += count;
        done += count;
        if (m_offset >= block->frames) {
            const bool last = block->endOfStream;
            const LoopMarks marks = block->marks;
            releaseFront();
            if (last) {
                noteEndOfStream(deviceFrame + done, marks);
                // Sent to the very end: what played before still dies away.
                if (m_junctionHasTail)
                    return done + fadeTailInto(out, done, frames - done);
                break;
            }
        }
    }
    return done;
}

// What played before a junction fading out alone from to on, as far as the
// fade goes within frames; the frames it took.
int PlaybackSource::fadeTailInto(float* out, int renderFrame, int frames)
{
    float* to = out + std::ptrdiff_t(renderFrame) * AudioBlock::channels;
    int f = 0;
    for (; f < frames && m_junctionAt >= 0; ++f, ++m_junctionAt) {
        if (m_junctionAt >= m_fadeFrames) {
            m_junctionAt = -1;
            break;
        }
        const float down = Crossfade::fadeOutGain(m_junctionAt, m_fadeFrames) * gainAt(renderFrame + f);
        for (int c = 0; c < AudioBlock::channels; ++c)
            to[f * AudioBlock::channels + c] += m_tail[std::size_t(m_junctionAt) * AudioBlock::channels + c] * down;
    }
    return f;
}

// The stream's last frame is handed over at deviceFrame. The marks of its
// last block count from there: a loop finished with the track's end is told
// by a block that may hold no frames to be heard in.
void PlaybackSource::noteEndOfStream(std::int64_t deviceFrame, const LoopMarks& marks)
{
    m_timeline.endOfStreamDeviceFrame = deviceFrame;
    m_timeline.endOfStreamGeneration = m_serving;
    m_timeline.endOfStreamMarks = marks;
}

// Plays on for one fade's length, falling to silence: a pause, or a jump
// whose new audio is not here yet. With less queued, the fall is as long as
// what there is: cut short, it would end in a click. Before a turn (the same
// sound's change not here yet), it plays on to a fade before the turn and
// falls to silence there; with less than a fade left before it, over what
// is left, down to half a fade (shorter, it would click: the fall goes on
// through the turn as it would anyway).
int PlaybackSource::fadeOutInto(float* out, int frames, std::int64_t deviceFrame, bool toTurn)
{
    const int beforeTurn = toTurn ? audioFramesQueued(frames, true) : 0;
    const int playedOn = beforeTurn > m_fadeFrames ? playInto(out, beforeTurn - m_fadeFrames, deviceFrame) : 0;
    const bool withinPass = toTurn && beforeTurn >= m_fadeFrames / 2;
    const int length = audioFramesQueued(std::min(frames - playedOn, m_fadeFrames), withinPass);
    int done = playedOn;
    while (done < playedOn + length) {
        AudioBlock* block = m_ring.readableBlock();
        if (!block || block->generation != m_serving || block->isPause())
            break;
        const int count = int(std::min<std::int64_t>(block->frames - m_offset, playedOn + length - done));
        const float* from = block->samples + m_offset * AudioBlock::channels;
        float* to = out + std::ptrdiff_t(done) * AudioBlock::channels;
        for (int f = 0; f < count; ++f) {
            const float down = Crossfade::fadeOutGain(done - playedOn + f, length) * gainAt(done + f);
            for (int c = 0; c < AudioBlock::channels; ++c)
                to[f * AudioBlock::channels + c] += from[f * AudioBlock::channels + c] * down;
        }
        record(deviceFrame + done, *block, streamFrameOf(*block, m_offset), count, false);
        m_offset += count;
        done += count;
        if (m_offset >= block->frames) {
            const bool last = block->endOfStream;
            const LoopMarks marks = block->marks;
            releaseFront();
            if (last) {
                noteEndOfStream(deviceFrame + done, marks);
                break;
            }
        }
    }
    m_junctionAt = -1;
    return done;
}
