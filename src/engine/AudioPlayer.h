#pragma once

#include "engine/FilePlayer.h"
#include "engine/LoopPlan.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QTimer;

// How a loop is drilled: passes per loop (0: endless) and the pause between
// passes.
struct DrillSettings {
    int passes = 0;
    PassPause pause;
    bool operator==(const DrillSettings&) const = default;
};

// The window's one playback engine: the loaded track, play/pause state,
// position, volume, the track list that playback indexes into, and the A-B
// loop bounds. Every store of a published field is preceded by
// objectWillChange() and followed by changed(), also when the value does not
// change. Views listen to changed(): by then the new value is in place.
//
// The loop is played in the audio itself (see StreamDecoder): the engine hands
// its bounds to the track's player whenever they change, and the tick only
// reports what was heard: one "Seek to: " line per jump back to the loop
// start, at the moment it is heard. While nothing plays no timer runs: after a
// change, one tick a moment later settles the published position and the loop.
class AudioPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr int tickIntervalMilliseconds = 10;

    explicit AudioPlayer(QObject* parent = nullptr);
    ~AudioPlayer() override;

    // The loaded track; replaced by a successful load, and by opening it
    // afresh after its reads failed.
    FilePlayer* player() const { return m_player.get(); }
    // Counts the tracks loaded: a track opened afresh after its reads failed
    // is still the one loaded before, though its player is new.
    quint64 loadCount() const { return m_loadCount; }
    // Stopped (the stop command, or played to the end) and not played
    // since: at rest by the learner's choice, not merely paused.
    bool isStopped() const { return m_stopped; }
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
    // The pass of the loop being heard (from 1; 0 without a loop), and in a
    // pause between passes the seconds of it still to come (else 0).
    int loopPass() const { return m_loopPass; }
    double passPauseSecondsLeft() const { return m_passPauseSecondsLeft; }
    const DrillSettings& drill() const { return m_drill; }
    // Playback speed, the pitch kept: 0.5 to 2.0 in steps of 0.05; 1 plays
    // the track untouched. Positions stay in the track's own time.
    double speed() const { return m_speed; }

    // Direct stores, for the bindings of the views and the commands.
    void setCurrentTime(double seconds);
    void setVolume(float level);
    void setPlaylist(QList<QUrl> tracks);
    void setLoopStart(std::optional<double> seconds);
    void setLoopEnd(std::optional<double> seconds);
    // Both bounds at once, as a new loop whose passes are counted afresh
    // (moving a point keeps the count).
    void setLoop(std::optional<double> startSeconds, std::optional<double> endSeconds);
    void setDrill(DrillSettings drill);
    // Rounded to a step and kept within the range.
    void setSpeed(double speed);
    static double speedStep(double speed);
    // Drilling hands-free: after the last pass of a loop with a number of
    // passes, the loop moves to what this gives for it (the next phrase)
    // instead of ending; none, or no finder, ends it as usual.
    using NextLoopFinder = std::function<std::optional<std::pair<double, double>>(double startSeconds, double endSeconds)>;
    void setNextLoopFinder(NextLoopFinder finder);
    // Asks the finder again what follows the loop (what it knows has changed).
    void refreshNextLoop();

    // What a track that fails to load leaves: the player stopped, at its
    // start, the loop cleared; or, for a file opened from outside while a
    // track is drilled, the track as it was.
    enum class OnFailure { Stop, KeepTrack };
    void playTrack(qint64 index, OnFailure onFailure = OnFailure::Stop);
    // Loads the track at index as playTrack() does, but leaves it paused at
    // its start (a paused player stepping to another track stays paused),
    // or stopped when stopped is (by default, as the player is now).
    void cueTrack(qint64 index, std::optional<bool> stopped = std::nullopt);
    // Where the loaded track stands in the track list: the index it was
    // loaded from while that entry still holds it, else its first entry;
    // none when the list does not hold it.
    std::optional<qint64> currentTrackIndex() const;
    // A step through the list that ran out of time on an entry that cannot
    // load: the next step goes on from there, while the track loaded then
    // is still loaded from the same entry and that entry still holds what
    // failed. Any load forgets it.
    void noteStepFailedAt(qint64 index);
    std::optional<qint64> stepFailedAt() const;
    void togglePlayPause();
    void stop();
    void seek(double seconds);
    void applyVolume(float level);
    void tick();
    void enforceLoop();
    // Restarts the engine timer. (Hides QObject's timer API on purpose: the
    // engine has exactly one timer.)
    void startTimer();

    // Whether a loop is in force: both bounds set, the start before the end.
    bool hasLoop() const;

signals:
    void objectWillChange();
    void changed();
    // The last pass of a loop with a set number of passes was heard; the
    // bounds are cleared already.
    void loopFinished();
    // The loop moved on to the next region after its last pass (hands-free).
    void loopAdvanced();
    // The loop went back to its start, as heard (once for the turns heard
    // since the last tick): a jump of the play head, however short the loop.
    void loopWentBack();

private:
    void storeCurrentTime(double seconds);
    void setIsPlaying(bool playing, bool stopped);
    void setCurrentTrack(std::optional<QUrl> track);
    // Stops and loads the track at index (volume applied, not started);
    // false, with the error logged, when there is none or it does not load.
    // Kept, the track playing is stopped only once the new one loaded.
    bool loadTrack(qint64 index, OnFailure onFailure = OnFailure::Stop);
    bool reopenAfterReadFailure();
    void setLoopPass(int pass);
    void setPassPauseSecondsLeft(double seconds);
    void stopTimer();
    void finishIfRunOut();
    void takeNewLoopSerial();
    void handOverLoop();
    void followHeardLoop();
    void logWrapsBack(std::uint32_t wraps) const;
    void logLoopMovedOn() const;
    void settleSoon();

    std::unique_ptr<FilePlayer> m_player;
    quint64 m_loadCount = 0;
    bool m_isPlaying = false;
    bool m_stopped = true;  // told with isPlaying's changes
    double m_currentTime = 0;
    float m_volume = 1.0f;
    QList<QUrl> m_playlist;
    std::optional<QUrl> m_currentTrack;
    qint64 m_currentTrackIndex = 0;  // the entry m_currentTrack was loaded from
    struct FailedStep {
        qint64 index = 0;
        QUrl track;
        std::optional<QUrl> loadedThen;
        std::optional<qint64> loadedFrom;
    };
    std::optional<FailedStep> m_failedStep;
    std::optional<double> m_loopStart;
    std::optional<double> m_loopEnd;
    int m_loopPass = 0;
    double m_passPauseSecondsLeft = 0;
    DrillSettings m_drill;
    double m_speed = 1.0;
    std::uint32_t m_loopSerial = 0;  // a new one each time a loop comes into force (see takeNewLoopSerial)
    std::uint64_t m_newLoopGeneration = 0;  // the player's generation that brought the latest new loop
    std::optional<std::uint32_t> m_passHeardForSerial;  // the loop whose pass m_loopPass was last heard as
    bool m_newLoopHandedOver = true;
    NextLoopFinder m_nextLoopFinder;
    std::optional<std::pair<double, double>> m_nextLoop;  // handed over as what follows the loop
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<QTimer> m_settleTimer;
    // The loop's marks last heard, and of which generation.
    FilePlayer::Heard m_lastHeard;
};
