#include "engine/FilePlayer.h"

#include "base/LeavableThread.h"
#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/PlaybackSource.h"
#include "engine/StreamDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// An open gives up on its own after its deadline, when FFmpeg waits; this is
// for a wait in the system, which nothing but the file answering ends.
constexpr std::chrono::milliseconds openPatience = DecodeStream::openDeadline + std::chrono::seconds(1);

}  // namespace

struct FilePlayer::Impl {
    Impl(QString filePath, std::shared_ptr<AudioOutput> audioOutput, std::unique_ptr<DecodeStream> decodeStream)
        : output(std::move(audioOutput))
        , source(output->sampleRate())
        , sampleRate(output->sampleRate())
        , durationSeconds(decodeStream->durationSeconds())
        , lengthFrames(decodeStream->outputLengthFrames())
        , decoder(std::move(decodeStream), source, std::move(filePath))
    {
    }

    // The decoder first: it sets its wake-up on the source, which the output
    // may call once the source is attached.
    void start()
    {
        decoder.start();
        output->attach(&source);
    }

    // Detaches from the output first (the audio thread then no longer sees
    // this stream); the decoder is stopped after that. What still sounds
    // dies away first: the next track opens within a few ms, before the
    // audio thread's next buffer would fade this one out, and a stream
    // detached while it sounds stops dead (a click).
    void leaveOutput()
    {
        source.setPlayRequested(false);
        output->detachWhenSilent(&source);
        output->setSourceWantsSound(&source, false);
    }

    HeardTimeline::Heard heardNow() const;
    std::int64_t heardFrame() const;
    void noteEndIfHeard() const;
    void sendRequest(std::int64_t frame, bool keepsPosition);

    const std::shared_ptr<AudioOutput> output;
    PlaybackSource source;
    const int sampleRate;
    const double durationSeconds;
    const std::int64_t lengthFrames;
    StreamDecoder decoder;

    // Main thread only.
    std::uint64_t generation = 0;
    std::uint64_t seekGeneration = 0;  // audio from before the latest seek is not heard as the position
    double targetSeconds = 0;
    std::int64_t targetFrame = 0;
    std::optional<LoopPlan> loop;
    bool playRequested = false;
    mutable bool reachedEnd = false;
    // What was last reported heard, and of which pass: callbacks arrive with
    // jitter, and what was once heard stays heard until the loop turns.
    mutable std::int64_t lastReportedFrame = 0;
    mutable std::uint64_t lastReportedTurns = 0;
    float gain = 1.0f;
    double speed = 1.0;
};

HeardTimeline::Heard FilePlayer::Impl::heardNow() const
{
    const HeardTimeline timeline = source.timeline();
    return timeline.heardAt(timeline.deviceFrameAt(steadyNowNs(), sampleRate), seekGeneration);
}

std::int64_t FilePlayer::Impl::heardFrame() const
{
    const HeardTimeline::Heard heard = heardNow();
    if (!heard.any)
        return targetFrame;
    // Within one generation the turns only grow: a new one is a jump back.
    const std::uint64_t turns = (heard.generation << 32) + heard.marks.wraps + heard.marks.advances;
    if (turns != lastReportedTurns) {
        lastReportedTurns = turns;
        lastReportedFrame = heard.frame;
    }
    lastReportedFrame = std::max(lastReportedFrame, heard.frame);
    return lastReportedFrame;
}

void FilePlayer::Impl::noteEndIfHeard() const
{
    if (!reachedEnd && playRequested && heardNow().reachedEnd)
        reachedEnd = true;
}

void FilePlayer::Impl::sendRequest(std::int64_t frame, bool keepsPosition)
{
    decoder.request({++generation, frame, keepsPosition, loop, speed, seekGeneration});
}

std::unique_ptr<FilePlayer> FilePlayer::load(const QUrl& fileUrl, QString* errorDescription)
{
    if (!fileUrl.isLocalFile()) {
        if (errorDescription)
            *errorDescription = QStringLiteral("%1: not a local file").arg(fileUrl.toString());
        return nullptr;
    }
    std::shared_ptr<AudioOutput> output = AudioOutput::shared();
    // Opened on a thread of its own: a file on a share or a disk that stopped
    // answering hangs in the system, where the open's own deadline cannot
    // reach, and the window waits for it only so long.
    struct Opening {
        std::unique_ptr<DecodeStream> stream;
        QString error;
    };
    auto opening = std::make_shared<Opening>();
    LeavableThread opener("Opening a track", "rivetone open",
                          [opening, path = fileUrl.toLocalFile(), rate = output->sampleRate()] {
                              opening->stream = DecodeStream::open(path, rate, &opening->error);
                          });
    if (!opener.endedWithin(openPatience)) {
        opener.letGo();  // it keeps its opening, dropped when it ends
        if (errorDescription)
            *errorDescription = QStringLiteral("%1: it did not answer within %2 s")
                                    .arg(fileUrl.toLocalFile())
                                    .arg(std::chrono::duration<double>(openPatience).count());
        return nullptr;
    }
    std::unique_ptr<DecodeStream> stream = std::move(opening->stream);
    if (!stream) {
        if (errorDescription)
            *errorDescription = opening->error;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>(fileUrl.toLocalFile(), std::move(output), std::move(stream));
    impl->start();
    return std::unique_ptr<FilePlayer>(new FilePlayer(std::move(impl)));
}

FilePlayer::FilePlayer(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

FilePlayer::~FilePlayer()
{
    m_impl->leaveOutput();
    // A decoder stuck in a read (a network share or a disk that stopped
    // answering) is left to end by itself, with all it uses: the window
    // must not hang on a track switch or the quit.
    if (!m_impl->decoder.stopWithin(LeavableThread::stopPatience)) {
        StreamDecoder& decoder = m_impl->decoder;
        decoder.letGo(std::shared_ptr<Impl>(std::move(m_impl)));
    }
}

void FilePlayer::play()
{
    Impl& d = *m_impl;
    d.noteEndIfHeard();
    if (d.reachedEnd)
        return;
    d.playRequested = true;
    d.source.setPlayRequested(true);
    d.decoder.wakeForPlay();
    d.output->setSourceWantsSound(&d.source, true);
}

void FilePlayer::pause()
{
    Impl& d = *m_impl;
    d.noteEndIfHeard();
    d.playRequested = false;
    d.source.setPlayRequested(false);
    d.output->setSourceWantsSound(&d.source, false);
}

bool FilePlayer::isPlaying() const
{
    return m_impl->playRequested && !hasReachedEnd();
}

double FilePlayer::currentTime() const
{
    const Impl& d = *m_impl;
    d.noteEndIfHeard();
    if (d.reachedEnd)
        return d.durationSeconds;
    const std::int64_t frame = d.heardFrame();
    if (frame == d.targetFrame)
        return d.targetSeconds;
    return std::min(d.durationSeconds, double(frame) / d.sampleRate);
}

void FilePlayer::setCurrentTime(double seconds)
{
    Impl& d = *m_impl;
    const double target = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, d.durationSeconds);
    d.targetSeconds = target;
    d.targetFrame = std::min<std::int64_t>(d.lengthFrames, std::llround(target * d.sampleRate));
    d.reachedEnd = false;
    d.sendRequest(d.targetFrame, false);
    d.seekGeneration = d.generation;
}

double FilePlayer::duration() const
{
    return m_impl->durationSeconds;
}

int FilePlayer::sampleRate() const
{
    return m_impl->sampleRate;
}

int FilePlayer::queuedBlocksForTesting() const
{
    return m_impl->source.ring().usedBlocks();
}

bool FilePlayer::decoderCaughtUpForTesting() const
{
    return m_impl->decoder.caughtUpForTesting();
}

std::int64_t FilePlayer::frameAt(double seconds) const
{
    const Impl& d = *m_impl;
    if (std::isnan(seconds))
        return 0;
    return std::clamp<std::int64_t>(std::llround(std::clamp(seconds, 0.0, d.durationSeconds) * d.sampleRate), 0,
                                    d.lengthFrames);
}

float FilePlayer::volume() const
{
    return m_impl->gain;
}

void FilePlayer::setVolume(float gain)
{
    m_impl->gain = gain;
    m_impl->source.setGain(gain);
}

bool FilePlayer::hasReachedEnd() const
{
    m_impl->noteEndIfHeard();
    return m_impl->reachedEnd;
}

std::optional<double> FilePlayer::readFailedAtSeconds() const
{
    const std::int64_t frame = m_impl->decoder.readFailedAtFrame();
    if (frame < 0)
        return std::nullopt;
    return std::min(double(frame) / sampleRate(), duration());
}

double FilePlayer::speed() const
{
    return m_impl->speed;
}

void FilePlayer::setSpeed(double speed)
{
    Impl& d = *m_impl;
    if (speed == d.speed)
        return;
    d.speed = speed;
    d.sendRequest(d.heardFrame(), true);
}

void FilePlayer::setLoop(const std::optional<LoopPlan>& plan)
{
    Impl& d = *m_impl;
    if (plan == d.loop)
        return;
    d.loop = plan;
    // The decoder goes on from where the output is; this is where it falls
    // back to when the output has not caught up with the last request.
    d.sendRequest(d.heardFrame(), true);
}

const std::optional<LoopPlan>& FilePlayer::loop() const
{
    return m_impl->loop;
}

std::uint64_t FilePlayer::requestedGeneration() const
{
    return m_impl->generation;
}

FilePlayer::Heard FilePlayer::heard() const
{
    const Impl& d = *m_impl;
    const HeardTimeline::Heard heard = d.heardNow();
    Heard result;
    result.generation = heard.any ? heard.generation : d.generation;
    result.marks = heard.marks;
    result.pauseSecondsLeft = double(heard.pauseFramesLeft) / d.sampleRate;
    result.any = heard.any;
    return result;
}
