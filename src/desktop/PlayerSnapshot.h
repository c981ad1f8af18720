#pragma once

#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

#include <optional>

class ContentState;

// What the media player interface announces of the window's player, taken
// at one moment: every property whose change is signalled to the desktop
// (the position is not one: it is read when wanted, and jumps are told by a
// signal of their own). Comparing two snapshots says what to announce.
struct PlayerSnapshot {
    enum class Status { Stopped, Paused, Playing };

    Status status = Status::Stopped;
    // A new number for every track loaded (0: none), so that a position set
    // for a track that has since been replaced is recognised as stale, even
    // when the same file was loaded again.
    quint64 trackSerial = 0;
    QString url;
    QString title;
    qint64 lengthMicroseconds = 0;
    std::optional<QString> album;  // the current playlist, when it holds the track
    double volume = 1.0;
    double rate = 1.0;  // the playback speed
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;

    // The window's player now; trackSerial numbers the loaded track.
    static PlayerSnapshot of(const ContentState& state, quint64 trackSerial);

    // Playing while the engine plays; stopped with nothing loaded, or
    // stopped (or played to the end, which rewinds) and still at the start;
    // paused otherwise, also at the start (the next track loaded while
    // paused, a pause in the first moment).
    static Status statusOf(bool isPlaying, bool hasTrack, bool stopped, double positionSeconds);
    static QString statusName(Status status);
    // The track id clients pass back to SetPosition.
    static QDBusObjectPath trackIdPath(quint64 trackSerial);

    QVariantMap metadata() const;
    // The announced properties, by their D-Bus names, whose values differ
    // from those in before.
    QVariantMap changedSince(const PlayerSnapshot& before) const;

    bool operator==(const PlayerSnapshot&) const = default;
};
