#include "engine/AudioPlayer.h"

#include "base/Log.h"

#include <QPointer>
#include <QTimer>

#include <cmath>

AudioPlayer::AudioPlayer(QObject* parent)
    : QObject(parent)
{
}

// The timer is dropped with the engine; its action only holds a weak
// reference, so nothing keeps the engine alive.
AudioPlayer::~AudioPlayer() = default;

void AudioPlayer::setIsPlaying(bool playing)
{
    emit objectWillChange();
    m_isPlaying = playing;
    emit changed();
}

void AudioPlayer::setCurrentTime(double seconds)
{
    emit objectWillChange();
    m_currentTime = seconds;
    emit changed();
}

void AudioPlayer::setVolume(float level)
{
    emit objectWillChange();
    m_volume = level;
    emit changed();
}

void AudioPlayer::setPlaylist(QList<QUrl> tracks)
{
    emit objectWillChange();
    m_playlist = std::move(tracks);
    emit changed();
}

void AudioPlayer::setCurrentTrack(std::optional<QUrl> track)
{
    emit objectWillChange();
    m_currentTrack = std::move(track);
    emit changed();
}

void AudioPlayer::setLoopStart(std::optional<double> seconds)
{
    emit objectWillChange();
    m_loopStart = seconds;
    emit changed();
}

void AudioPlayer::setLoopEnd(std::optional<double> seconds)
{
    emit objectWillChange();
    m_loopEnd = seconds;
    emit changed();
}

void AudioPlayer::stopTimer()
{
    if (m_timer)
        m_timer->stop();
    m_timer.reset();
}

void AudioPlayer::stop()
{
    if (m_player) {
        m_player->pause();
        m_player->setCurrentTime(0);
    }
    setIsPlaying(false);
    setLoopStart(std::nullopt);
    setLoopEnd(std::nullopt);
    stopTimer();
    const double position = m_player ? m_player->currentTime() : 0.0;
    Log::line(QStringLiteral("Stop: currentTime=%1, loop cleared").arg(Log::formatDouble(position)));
}

void AudioPlayer::playTrack(qint64 index)
{
    if (index < 0 || index >= m_playlist.size())
        return;
    stop();
    const QUrl url = m_playlist.at(index);
    QString error;
    std::unique_ptr<FilePlayer> loaded = FilePlayer::load(url, &error);
    if (!loaded) {
        Log::line(QStringLiteral("Error playing track: ") + error);
        return;
    }
    m_player = std::move(loaded);
    setCurrentTrack(url);
    m_player->setVolume(m_volume);
    m_player->play();
    setIsPlaying(true);
    startTimer();
    const QString name = m_currentTrack ? m_currentTrack->fileName() : QStringLiteral("none");
    Log::line(QStringLiteral("Playing: ") + name);
}

void AudioPlayer::togglePlayPause()
{
    if (m_isPlaying) {
        if (m_player)
            m_player->pause();
        setIsPlaying(false);
        stopTimer();
        return;
    }
    if (m_playlist.isEmpty())
        return;
    if (m_player) {
        m_player->play();
        setIsPlaying(true);
        startTimer();
        return;
    }
    playTrack(0);
}

void AudioPlayer::seek(double seconds)
{
    if (!m_player)
        return;
    double target = seconds >= 0 ? seconds : 0.0;  // NaN fails the test too
    const double duration = m_player->duration();
    if (duration < target)
        target = duration;
    m_player->setCurrentTime(target);
    Log::line(QStringLiteral("Seek to: ") + Log::formatDouble(target));
}

void AudioPlayer::applyVolume(float level)
{
    setVolume(level);
    if (m_player)
        m_player->setVolume(level);
}

void AudioPlayer::tick()
{
    setCurrentTime(m_player ? m_player->currentTime() : 0.0);
    enforceLoop();
    finishIfRunOut();
}

void AudioPlayer::enforceLoop()
{
    if (!m_player || !m_loopStart || !m_loopEnd)
        return;
    if (!(*m_loopStart < *m_loopEnd))
        return;
    const double position = m_player->currentTime();
    if (!(position >= *m_loopEnd))  // also returns for a position that does not compare
        return;
    seek(*m_loopStart);
}

// A track that has been heard to its end stops being "playing", and rewinds,
// so the next toggle plays it again from the start.
void AudioPlayer::finishIfRunOut()
{
    if (!m_isPlaying || !m_player || !m_player->hasReachedEnd())
        return;
    m_player->pause();
    m_player->setCurrentTime(0);
    setIsPlaying(false);
    stopTimer();
    setCurrentTime(0);
}

void AudioPlayer::startTimer()
{
    stopTimer();
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(tickIntervalMilliseconds);
    QPointer<AudioPlayer> engine(this);
    connect(timer.get(), &QTimer::timeout, timer.get(), [engine] {
        if (engine)
            engine->tick();
    });
    timer->start();
    m_timer = std::move(timer);
}
