#include "desktop/MprisPlayerAdaptor.h"

#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "engine/TimeStretcher.h"
#include "library/AudioFiles.h"
#include "state/ContentState.h"
#include "state/SpeedOption.h"
#include "state/Transport.h"

#include <QFileInfo>

#include <utility>
#include <QUrl>

#include <algorithm>
#include <cmath>

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* exported, ContentState& state, Announcer announce, Opener open)
    : QDBusAbstractAdaptor(exported)
    , m_state(state)
    , m_announce(std::move(announce))
    , m_open(std::move(open))
{
    m_clock.start();
    noteLoadedTrack();
    m_announced = snapshot();
    m_jumps.observe(m_state.audioPlayer().currentTime(), m_state.audioPlayer().isPlaying(), m_state.audioPlayer().speed(), m_trackSerial,
                    m_clock.elapsed());

    // Each load is seen as it happens (not a turn later), so no two loaded
    // tracks can share a serial.
    connect(&m_state.audioPlayer(), &AudioPlayer::changed, this, [this] {
        noteLoadedTrack();
        announceSoon();
    });
    // A loop's going back is a jump, told as one: a loop shorter than the
    // watch's tolerance goes back by less than a jump it can see.
    connect(&m_state.audioPlayer(), &AudioPlayer::loopWentBack, this, [this] {
        m_seekAsked = true;
        announceSoon();
    });
    // The album is the current playlist's name.
    connect(&m_state, &ContentState::changed, this, [this] { announceSoon(); });
}

// The engine changes a hundred times a second while it plays, nearly always
// only its position, which the desktop runs on its own clock. The first
// change after a quiet spell is told at the next turn of the event loop;
// later ones are gathered for at most a twentieth of a second.
void MprisPlayerAdaptor::announceSoon()
{
    m_announceSoon.request(gatherMilliseconds);
}

void MprisPlayerAdaptor::noteLoadedTrack()
{
    const AudioPlayer& engine = m_state.audioPlayer();
    const quint64 loaded = engine.player() ? engine.loadCount() : 0;
    if (loaded == m_serialTrack)
        return;
    m_serialTrack = loaded;
    if (loaded)
        ++m_trackSerial;
}

PlayerSnapshot MprisPlayerAdaptor::snapshot() const
{
    return PlayerSnapshot::of(m_state, m_trackSerial);
}

void MprisPlayerAdaptor::announceChanges()
{
    m_announceSoon.runNow();
}

void MprisPlayerAdaptor::announceNow()
{
    ++m_announcementRuns;
    const PlayerSnapshot now = snapshot();
    const QVariantMap changed = now.changedSince(m_announced);
    m_announced = now;
    if (!changed.isEmpty() && m_announce)
        m_announce(changed);
    const AudioPlayer& engine = m_state.audioPlayer();
    // In a drill's pause between passes the status stays Playing, and the
    // desktop's clock runs on while the play head rests: where playback goes
    // on, the desktop is told the place again, as after a seek.
    const bool held = engine.isPlaying() && engine.passPauseSecondsLeft() > 0;
    // (Another track is told of as such.)
    const bool pauseOver = m_trackHeldInPassPause == now.trackSerial && !held && engine.isPlaying();
    m_trackHeldInPassPause = held ? std::optional<quint64>(now.trackSerial) : std::nullopt;
    const bool jumped = m_jumps.observe(engine.currentTime(), engine.isPlaying() && !held, engine.speed(),
                                        now.trackSerial, m_clock.elapsed());
    const bool asked = std::exchange(m_seekAsked, false);
    if (jumped || pauseOver || asked)
        emit Seeked(position());
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return PlayerSnapshot::statusName(snapshot().status);
}

double MprisPlayerAdaptor::rate() const
{
    return m_state.audioPlayer().speed();
}

void MprisPlayerAdaptor::setRate(double rate)
{
    // A rate of 0 is a request to pause; any other is taken to the nearest
    // speed the player has.
    if (rate == 0.0)
        Pause();
    else if (std::isfinite(rate))
        SpeedOption::set(m_state, rate);
}

double MprisPlayerAdaptor::minimumRate() const
{
    return TimeStretcher::slowest;
}

double MprisPlayerAdaptor::maximumRate() const
{
    return TimeStretcher::fastest;
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return snapshot().metadata();
}

double MprisPlayerAdaptor::volume() const
{
    return m_state.audioPlayer().volume();
}

void MprisPlayerAdaptor::setVolume(double level)
{
    if (std::isnan(level))
        return;
    // As the window's slider sets it; the engine's range is 0...1.
    m_state.audioPlayer().applyVolume(float(std::clamp(level, 0.0, 1.0)));
}

qlonglong MprisPlayerAdaptor::position() const
{
    const double seconds = m_state.audioPlayer().currentTime();
    return std::isfinite(seconds) ? std::llround(seconds * 1e6) : 0;
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return Transport::canGoToNextTrack(m_state);
}

bool MprisPlayerAdaptor::canGoPrevious() const
{
    return Transport::canGoToPreviousTrack(m_state);
}

bool MprisPlayerAdaptor::canPlay() const
{
    return snapshot().canPlay;
}

bool MprisPlayerAdaptor::canPause() const
{
    return snapshot().canPause;
}

bool MprisPlayerAdaptor::canSeek() const
{
    return snapshot().canSeek;
}

void MprisPlayerAdaptor::Next()
{
    Transport::goToNextTrack(m_state);
}

void MprisPlayerAdaptor::Previous()
{
    Transport::goToPreviousTrack(m_state);
}

void MprisPlayerAdaptor::Pause()
{
    if (m_state.audioPlayer().isPlaying())
        m_state.audioPlayer().togglePlayPause();
}

void MprisPlayerAdaptor::PlayPause()
{
    m_state.audioPlayer().togglePlayPause();
}

void MprisPlayerAdaptor::Stop()
{
    Transport::stop(m_state);
}

void MprisPlayerAdaptor::Play()
{
    if (!m_state.audioPlayer().isPlaying())
        m_state.audioPlayer().togglePlayPause();
}

void MprisPlayerAdaptor::Seek(qlonglong offsetMicroseconds)
{
    const PlayerSnapshot now = snapshot();
    if (!now.canSeek)
        return;
    const double target = m_state.audioPlayer().currentTime() + double(offsetMicroseconds) / 1e6;
    // Past the end is a step to the next track (none at the list's end).
    if (target > m_state.audioPlayer().player()->duration()) {
        Next();
        return;
    }
    Transport::seekTo(m_state, withinLoop(std::max(target, 0.0)));
    m_seekAsked = true;
    announceChanges();
}

// A loop in force sends the play head back to its start from its end or
// beyond (playing, the audio goes there at once; paused, at the next tick):
// a place asked for there goes straight to the start, so that the place told
// back is the one heard, and told once.
double MprisPlayerAdaptor::withinLoop(double seconds) const
{
    const AudioPlayer& engine = m_state.audioPlayer();
    return engine.hasLoop() && seconds >= *engine.loopEnd() ? *engine.loopStart() : seconds;
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong positionMicroseconds)
{
    const PlayerSnapshot now = snapshot();
    // A position meant for a track that has since been replaced is dropped.
    if (!now.canSeek || now.trackSerial == 0 || trackId != PlayerSnapshot::trackIdPath(now.trackSerial))
        return;
    if (positionMicroseconds < 0 || positionMicroseconds > now.lengthMicroseconds)
        return;
    Transport::seekTo(m_state, withinLoop(double(positionMicroseconds) / 1e6));
    m_seekAsked = true;
    announceChanges();
}

void MprisPlayerAdaptor::OpenUri(const QString& uri)
{
    // Tolerant: small clients (a script, dbus-send) send a name's spaces and
    // letters as they are, not percent-encoded.
    const QString path = AudioFiles::localPathOf(QUrl(uri, QUrl::TolerantMode)).value_or(QString());
    if (path.isEmpty() || !m_open) {
        Log::line(QStringLiteral("Media controls: not opened (not a local file): ") + Log::quoted(uri));
        return;
    }
    if (const QFileInfo file(path); !file.isFile()) {
        // Bytes that are not UTF-8 are lost in the path: the file may well be there.
        Log::line((file.exists() ? QStringLiteral("Media controls: not opened (not a file): ")
                   : AudioFiles::localPathNotInUtf8(QUrl(uri, QUrl::TolerantMode))
                       ? QStringLiteral("Media controls: not opened (a name that is not UTF-8): ")
                       : QStringLiteral("Media controls: not opened (no such file): "))
                  + Log::quoted(uri));
        return;
    }
    m_open(path);
}
