#include "desktop/PlayerSnapshot.h"

#include "engine/AudioPlayer.h"
#include "state/ContentState.h"
#include "state/Transport.h"

#include <cmath>

PlayerSnapshot PlayerSnapshot::of(const ContentState& state, quint64 trackSerial)
{
    const AudioPlayer& engine = state.audioPlayer();
    const FilePlayer* loaded = engine.player();
    PlayerSnapshot snapshot;
    // At rest, where the track itself stands: a stop rewinds it at once, while
    // the published position settles a moment later (stopped, the old place
    // would read as paused there meanwhile).
    snapshot.status = statusOf(engine.isPlaying(), loaded != nullptr, engine.isStopped(),
                               loaded && !engine.isPlaying() ? loaded->currentTime() : engine.currentTime());
    snapshot.volume = engine.volume();
    snapshot.rate = engine.speed();
    snapshot.canGoNext = Transport::canGoToNextTrack(state);
    snapshot.canGoPrevious = Transport::canGoToPreviousTrack(state);
    // Play with nothing loaded starts the list's first track.
    snapshot.canPlay = loaded || !engine.playlist().isEmpty();
    snapshot.canPause = loaded != nullptr;
    snapshot.canSeek = loaded && loaded->duration() > 0;  // a NaN duration fails too
    if (!loaded || !engine.currentTrack())
        return snapshot;
    const QUrl& track = *engine.currentTrack();
    snapshot.trackSerial = trackSerial;
    snapshot.url = track.toString(QUrl::FullyEncoded);
    snapshot.title = track.fileName();
    snapshot.lengthMicroseconds = std::isfinite(loaded->duration()) ? std::llround(loaded->duration() * 1e6) : 0;
    if (engine.currentTrackIndex())
        snapshot.album = state.currentPlaylist();
    return snapshot;
}

PlayerSnapshot::Status PlayerSnapshot::statusOf(bool isPlaying, bool hasTrack, bool stopped, double positionSeconds)
{
    if (isPlaying)
        return Status::Playing;
    if (hasTrack && (!stopped || positionSeconds > 0))
        return Status::Paused;
    return Status::Stopped;
}

QString PlayerSnapshot::statusName(Status status)
{
    switch (status) {
    case Status::Playing:
        return QStringLiteral("Playing");
    case Status::Paused:
        return QStringLiteral("Paused");
    case Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QDBusObjectPath PlayerSnapshot::trackIdPath(quint64 trackSerial)
{
    if (trackSerial == 0)
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/io/github/rivetone/Rivetone/Track/%1").arg(trackSerial));
}

QVariantMap PlayerSnapshot::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackIdPath(trackSerial)));
    if (trackSerial == 0)
        return map;
    map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qint64>(lengthMicroseconds));
    map.insert(QStringLiteral("xesam:url"), url);
    map.insert(QStringLiteral("xesam:title"), title);
    if (album)
        map.insert(QStringLiteral("xesam:album"), *album);
    return map;
}

QVariantMap PlayerSnapshot::changedSince(const PlayerSnapshot& before) const
{
    QVariantMap changed;
    if (status != before.status)
        changed.insert(QStringLiteral("PlaybackStatus"), statusName(status));
    if (trackSerial != before.trackSerial || url != before.url || title != before.title
        || lengthMicroseconds != before.lengthMicroseconds || album != before.album)
        changed.insert(QStringLiteral("Metadata"), metadata());
    if (volume != before.volume)
        changed.insert(QStringLiteral("Volume"), volume);
    if (rate != before.rate)
        changed.insert(QStringLiteral("Rate"), rate);
    const auto flag = [&](const char* name, bool now, bool then) {
        if (now != then)
            changed.insert(QString::fromLatin1(name), now);
    };
    flag("CanGoNext", canGoNext, before.canGoNext);
    flag("CanGoPrevious", canGoPrevious, before.canGoPrevious);
    flag("CanPlay", canPlay, before.canPlay);
    flag("CanPause", canPause, before.canPause);
    flag("CanSeek", canSeek, before.canSeek);
    return changed;
}
