#pragma once

#include "engine/AudioBlock.h"
#include "engine/LoopPlan.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// Plays one audio file: what the engine needs from a platform audio player,
// and the loop played in the audio itself. Loading is synchronous; playback
// runs in the background and the position it reports is the position as
// heard. All methods are called from the main thread.
class FilePlayer {
public:
    // Opens the file behind a local file URL, positioned at 0 and not playing.
    // On failure returns null and sets errorDescription (when given) to a
    // readable text naming the file and the reason.
    static std::unique_ptr<FilePlayer> load(const QUrl& fileUrl, QString* errorDescription);

    ~FilePlayer();
    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    // Starts output from the current position, fading in over a few
    // milliseconds. Starting at the end of the file plays nothing and leaves
    // hasReachedEnd() set.
    void play();
    // Stops output, letting the sound die away over a few milliseconds; the
    // position is where it stops.
    void pause();
    bool isPlaying() const;

    // Seconds from the first real sample of the file, as heard.
    double currentTime() const;
    // Moves the position; the first sample heard afterwards is the sample at
    // that time (crossfaded in from the old position while playing). Values
    // outside 0...duration() are clamped.
    void setCurrentTime(double seconds);
    // True length in seconds (encoder delay and padding excluded).
    double duration() const;
    int sampleRate() const;
    // The output frame at seconds, within the track.
    std::int64_t frameAt(double seconds) const;

    float volume() const;
    void setVolume(float gain);

    // Stream seconds per second heard, the pitch kept (1: the stream as it
    // is, not touched). From the position the output has reached; the change
    // crossfades in.
    double speed() const;
    void setSpeed(double speed);

    // True once the last sample has been heard while playing; output has
    // then stopped by itself (isPlaying() is false). Cleared by a new position.
    bool hasReachedEnd() const;
    // Where reading the file failed (a drive unplugged, a share gone), in
    // seconds (the position as heard then reports the end); none while reads
    // go well. Once it failed, the open handle fails wherever it seeks, so
    // playing again takes a fresh load.
    std::optional<double> readFailedAtSeconds() const;

    // The loop played in the audio: from now on, or none. The position stays;
    // when it is already past the loop's end, the next audio is its start.
    void setLoop(const std::optional<LoopPlan>& plan);
    const std::optional<LoopPlan>& loop() const;

    // What the loop has done, as heard now.
    struct Heard {
        std::uint64_t generation = 0;  // a new one with every seek and loop change
        LoopMarks marks;
        double pauseSecondsLeft = 0;   // in a pause between passes: how much is still to come
        bool any = false;  // something since the latest seek has been heard (else no marks yet)
    };
    Heard heard() const;
    // The generation of the latest seek or loop change asked for.
    std::uint64_t requestedGeneration() const;

    // Blocks decoded and handed to the output, not yet played through: lets
    // a test wait until the decoder is ahead instead of guessing a delay.
    int queuedBlocksForTesting() const;
    // The decoder has taken in the latest request and queued its audio, as it
    // has by the time a device asks for its next buffer.
    bool decoderCaughtUpForTesting() const;

    struct Impl;

private:
    explicit FilePlayer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
