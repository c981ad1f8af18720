#pragma once

#include <QString>
#include <QUrl>

#include <memory>

// Plays one audio file: what the engine needs from a platform audio player.
// Loading is synchronous; playback runs in the background and the position it
// reports is the position as heard. All methods are called from the main thread.
class FilePlayer {
public:
    // Opens the file behind a local file URL, positioned at 0 and not playing.
    // On failure returns null and sets errorDescription (when given) to a
    // readable text naming the file and the reason.
    static std::unique_ptr<FilePlayer> load(const QUrl& fileUrl, QString* errorDescription);

    ~FilePlayer();
    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    // Starts output from the current position. Starting at the end of the
    // file plays nothing and leaves hasReachedEnd() set.
    void play();
    // Stops output and keeps the position.
    void pause();
    bool isPlaying() const;

    // Seconds from the first real sample of the file, as heard.
    double currentTime() const;
    // Moves the position; the first sample heard afterwards is the sample at
    // that time. Values outside 0...duration() are clamped.
    void setCurrentTime(double seconds);
    // True length in seconds (encoder delay and padding excluded).
    double duration() const;

    float volume() const;
    void setVolume(float gain);

    // True once the last sample has been heard while playing; output has
    // then stopped by itself (isPlaying() is false). Cleared by a new position.
    bool hasReachedEnd() const;

    struct Impl;

private:
    explicit FilePlayer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
