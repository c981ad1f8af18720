#pragma once

#include "engine/FilePlayer.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

class QTimer;

// The window's one playback engine: the loaded track, play/pause state,
// position, volume, the track list that playback indexes into, and the A-B
// loop bounds. Every store of a published field is preceded by
// objectWillChange() and followed by changed(), also when the value does not
// change. Views listen to changed(): by then the new value is in place.
class AudioPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr int tickIntervalMilliseconds = 10;

    explicit AudioPlayer(QObject* parent = nullptr);
    ~AudioPlayer() override;

    // The loaded track; replaced only by a successful load.
    FilePlayer* player() const { return m_player.get(); }
    // The engine's own position timer; present only while playing.
    QTimer* timer() const { return m_timer.get(); }

    // Published fields.
    bool isPlaying() const { return m_isPlaying; }
    double currentTime() const { return m_currentTime; }
    float volume() const { return m_volume; }
    const QList<QUrl>& playlist() const { return m_playlist; }
    const std::optional<QUrl>& currentTrack() const { return m_currentTrack; }
    std::optional<double> loopStart() const { return m_loopStart; }
    std::optional<double> loopEnd() const { return m_loopEnd; }

    // Direct stores, for the bindings of the views and the commands.
    void setCurrentTime(double seconds);
    void setVolume(float level);
    void setPlaylist(QList<QUrl> tracks);
    void setLoopStart(std::optional<double> seconds);
    void setLoopEnd(std::optional<double> seconds);

    void playTrack(qint64 index);
    void togglePlayPause();
    void stop();
    void seek(double seconds);
    void applyVolume(float level);
    void tick();
    void enforceLoop();
    // Restarts the engine timer. (Hides QObject's timer API on purpose: the
    // engine has exactly one timer.)
    void startTimer();

signals:
    void objectWillChange();
    void changed();

private:
    void setIsPlaying(bool playing);
    void setCurrentTrack(std::optional<QUrl> track);
    void stopTimer();
    void finishIfRunOut();

    std::unique_ptr<FilePlayer> m_player;
    bool m_isPlaying = false;
    double m_currentTime = 0;
    float m_volume = 1.0f;
    QList<QUrl> m_playlist;
    std::optional<QUrl> m_currentTrack;
    std::optional<double> m_loopStart;
    std::optional<double> m_loopEnd;
    std::unique_ptr<QTimer> m_timer;
};
