#include "engine/FilePlayer.h"

#include "base/Log.h"
#include "base/Threads.h"
#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/PlaybackSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

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

std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct FilePlayer::Impl {
    Impl(QString filePath, std::shared_ptr<AudioOutput> audioOutput, std::unique_ptr<DecodeStream> decodeStream)
        : path(std::move(filePath))
        , output(std::move(audioOutput))
        , stream(std::move(decodeStream))
        , source(output->sampleRate())
        , sampleRate(output->sampleRate())
        , durationSeconds(stream->durationSeconds())
        , lengthFrames(stream->outputLengthFrames())
    {
    }

    void startDecoder()
    {
        output->attach(&source);
        noteThreadStart("A track's decoder");
        decoder = std::thread([this] { decodeLoop(); });
    }

    ~Impl()
    {
        output->detach(&source);
        {
            std::lock_guard lock(requestMutex);
            stopping = true;
        }
        wake.notify_all();
        if (decoder.joinable())
            decoder.join();
    }

    void decodeLoop();
    void noteEarlyEnd();
    bool queueHasRoom(std::uint64_t workingGeneration);
    std::int64_t heardFrame() const;
    void noteEndIfHeard() const;

    const QString path;
    const std::shared_ptr<AudioOutput> output;
    const std::unique_ptr<DecodeStream> stream;  // decoder thread only, once started
    PlaybackSource source;
    const int sampleRate;
    const double durationSeconds;
    const std::int64_t lengthFrames;  // at the output rate

    std::mutex requestMutex;
    std::condition_variable wake;
    std::int64_t requestedFrame = 0;  // guarded by requestMutex, with the generation
    bool stopping = false;            // guarded by requestMutex
    std::thread decoder;
    bool reportedEarlyEnd = false;  // decoder thread only

    // Main thread only.
    std::uint64_t generation = 0;
    double targetSeconds = 0;
    std::int64_t targetFrame = 0;
    bool playRequested = false;
    mutable bool reachedEnd = false;
    mutable std::int64_t lastReportedFrame = 0;
    float gain = 1.0f;
};

bool FilePlayer::Impl::queueHasRoom(std::uint64_t workingGeneration)
{
    // While stale blocks still wait to be dropped, the headroom may be used.
    const int limit = source.consumedGeneration() == workingGeneration ? steadyQueueBlocks : source.ring().capacity();
    return source.ring().usedBlocks() < limit;
}

void FilePlayer::Impl::decodeLoop()
{
    std::uint64_t working = 0;  // the stream was positioned at 0 by the load
    bool ended = false;
    for (;;) {
        std::uint64_t wanted;
        std::int64_t frame = 0;
        {
            std::unique_lock lock(requestMutex);
            for (;;) {
                if (stopping)
                    return;
                wanted = source.requestedGeneration();
                if (wanted != working) {
                    frame = requestedFrame;
                    break;
                }
                if (!ended && queueHasRoom(working))
                    break;
                if (ended)
                    wake.wait(lock);
                else
                    wake.wait_for(lock, refillInterval);
            }
        }
        if (wanted != working) {
            stream->seek(frame);
            working = wanted;
            ended = false;
        }
        while (!ended && source.requestedGeneration() == working && queueHasRoom(working)) {
            AudioBlock* block = source.ring().writableBlock();
            if (!block)
                break;
            block->generation = working;
            block->frames = stream->read(block->samples, AudioBlock::capacityFrames);
            block->startFrame = stream->position() - block->frames;
            block->endOfStream = block->frames < AudioBlock::capacityFrames;
            ended = block->endOfStream;
            source.ring().publish();
            if (ended)
                noteEarlyEnd();
        }
    }
}

// A file cut short or overwritten after it was opened, or one that cannot be
// read any further, ends before its stated length. Playback then ends there
// as at a real end; the line says why, once per load.
void FilePlayer::Impl::noteEarlyEnd()
{
    const std::int64_t endFrame = stream->position();
    if (reportedEarlyEnd || endFrame + sampleRate / earlyEndToleranceDivisor >= lengthFrames)
        return;
    reportedEarlyEnd = true;
    const int error = stream->readError();
    const QString reason = error ? Ffmpeg::errorText(error) : QStringLiteral("no more data");
    const double endSeconds = std::round(double(endFrame) * 1000 / sampleRate) / 1000;
    Log::line(QStringLiteral("Track ends early: %1: %2, at %3 s of %4 s")
                  .arg(path, reason, Log::formatDouble(endSeconds), Log::formatDouble(durationSeconds)));
}

std::int64_t FilePlayer::Impl::heardFrame() const
{
    const HeardClock clock = source.clock();
    if (clock.generation != generation || !clock.hasFrames)
        return targetFrame;
    const std::int64_t frame = playRequested ? clock.heardFrame(steadyNowNs(), sampleRate) : clock.handedEndFrame;
    // Callbacks arrive with jitter; what was once reported heard stays heard.
    lastReportedFrame = std::max(lastReportedFrame, frame);
    return lastReportedFrame;
}

void FilePlayer::Impl::noteEndIfHeard() const
{
    if (reachedEnd || !playRequested)
        return;
    const HeardClock clock = source.clock();
    if (clock.generation == generation && clock.endOfStreamFrame >= 0 && heardFrame() >= clock.endOfStreamFrame)
        reachedEnd = true;
}

std::unique_ptr<FilePlayer> FilePlayer::load(const QUrl& fileUrl, QString* errorDescription)
{
    if (!fileUrl.isLocalFile()) {
        if (errorDescription)
            *errorDescription = QStringLiteral("%1: not a local file").arg(fileUrl.toString());
        return nullptr;
    }
    std::shared_ptr<AudioOutput> output = AudioOutput::shared();
    std::unique_ptr<DecodeStream> stream = DecodeStream::open(fileUrl.toLocalFile(), output->sampleRate(), errorDescription);
    if (!stream)
        return nullptr;
    auto impl = std::make_unique<Impl>(fileUrl.toLocalFile(), std::move(output), std::move(stream));
    impl->startDecoder();
    return std::unique_ptr<FilePlayer>(new FilePlayer(std::move(impl)));
}

FilePlayer::FilePlayer(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

// Detaches from the output first (the audio thread then no longer sees this
// stream), then stops and joins the decoder.
FilePlayer::~FilePlayer() = default;

void FilePlayer::play()
{
    Impl& d = *m_impl;
    d.noteEndIfHeard();
    if (d.reachedEnd)
        return;
    d.playRequested = true;
    d.source.setPlayRequested(true);
    d.wake.notify_all();
}

void FilePlayer::pause()
{
    Impl& d = *m_impl;
    d.noteEndIfHeard();
    // Between renders, so that nothing more is handed to the device once
    // this returns: the position is then exactly where the sound stops.
    d.output->changeBetweenRenders([&] { d.source.setPlayRequested(false); });
    d.playRequested = false;
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
    d.lastReportedFrame = d.targetFrame;
    d.reachedEnd = false;
    {
        std::lock_guard lock(d.requestMutex);
        d.requestedFrame = d.targetFrame;
        d.source.setRequestedGeneration(++d.generation);
    }
    d.wake.notify_all();
}

double FilePlayer::duration() const
{
    return m_impl->durationSeconds;
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
