#pragma once

#include "base/Throttle.h"
#include "desktop/PlayerSnapshot.h"
#include "desktop/PositionJumpWatch.h"

#include <optional>
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QVariantMap>

#include <functional>

class ContentState;

// The window's player as the desktop's media controls see it
// (org.mpris.MediaPlayer2.Player): play, pause, stop, the previous and next
// track of the current playlist, seeking, the volume, and what is loaded.
// The commands are the window's own (Transport, the engine); the changes,
// however they came about, are announced once per turn of the event loop.
// The rate is the window's playback speed, within its range.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    static inline const QString interfaceName = QStringLiteral("org.mpris.MediaPlayer2.Player");
    // Sends org.freedesktop.DBus.Properties.PropertiesChanged for this
    // interface with the changed values.
    using Announcer = std::function<void(const QVariantMap& changed)>;
    // Adds a local file (an existing one, by its path) and plays it.
    using Opener = std::function<void(const QString& path)>;

    MprisPlayerAdaptor(QObject* exported, ContentState& state, Announcer announce, Opener open = {});

    QString playbackStatus() const;
    double rate() const;
    void setRate(double rate);
    double minimumRate() const;
    double maximumRate() const;
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double level);
    qlonglong position() const;
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canPause() const;
    bool canSeek() const;
    bool canControl() const { return true; }

    // Announces what changed since the last announcement now, without
    // waiting for the event loop.
    void announceChanges();
    quint64 announcementRunsForTesting() const { return m_announcementRuns; }

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offsetMicroseconds);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionMicroseconds);
    // A file: URI of a regular file; anything else (another scheme, a
    // folder, a file that is not there) is left alone, with a line.
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong positionMicroseconds);

private:
    static constexpr int gatherMilliseconds = 50;

    PlayerSnapshot snapshot() const;
    double withinLoop(double seconds) const;
    void noteLoadedTrack();
    void announceSoon();
    void announceNow();

    ContentState& m_state;
    Announcer m_announce;
    Opener m_open;
    quint64 m_trackSerial = 0;
    quint64 m_serialTrack = 0;  // which load (AudioPlayer::loadCount) has m_trackSerial
    PlayerSnapshot m_announced;
    PositionJumpWatch m_jumps;
    std::optional<quint64> m_trackHeldInPassPause;  // playing, in a drill's pause between passes
    // A seek the desktop asked for is told back whatever its size: playing,
    // the watch lets a small step pass as the clock's jitter.
    bool m_seekAsked = false;
    QElapsedTimer m_clock;
    Throttle m_announceSoon{[this] { announceNow(); }};
    quint64 m_announcementRuns = 0;
};
