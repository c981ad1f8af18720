#include "engine/AudioPlayer.h"

#include "base/Log.h"
#include "engine/TimeStretcher.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

AudioPlayer::AudioPlayer(QObject* parent)
    : QObject(parent)
    , m_settleTimer(std::make_unique<QTimer>())
{
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setTimerType(Qt::PreciseTimer);
    m_settleTimer->setInterval(tickIntervalMilliseconds);
    QPointer<AudioPlayer> engine(this);
    connect(m_settleTimer.get(), &QTimer::timeout, m_settleTimer.get(), [engine] {
        if (engine && !engine->m_timer)
            engine->tick();
    });
}

// The timer is dropped with the engine; its action only holds a weak
// reference, so nothing keeps the engine alive.
AudioPlayer::~AudioPlayer() = default;

void AudioPlayer::setIsPlaying(bool playing, bool stopped)
{
    emit objectWillChange();
    m_isPlaying = playing;
    m_stopped = stopped;
    emit changed();
}

void AudioPlayer::storeCurrentTime(double seconds)
{
    emit objectWillChange();
    m_currentTime = seconds;
    emit changed();
}

// A position written from outside (a seek command, the bar's drag) stands
// until the next tick copies the player's position again.
void AudioPlayer::setCurrentTime(double seconds)
{
    storeCurrentTime(seconds);
    settleSoon();
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

bool AudioPlayer::hasLoop() const
{
    return m_loopStart && m_loopEnd && *m_loopStart < *m_loopEnd;
}

void AudioPlayer::setLoopStart(std::optional<double> seconds)
{
    const bool hadLoop = hasLoop();
    emit objectWillChange();
    m_loopStart = seconds;
    emit changed();
    if (!hadLoop && hasLoop())
        takeNewLoopSerial();
    handOverLoop();
}

void AudioPlayer::setLoopEnd(std::optional<double> seconds)
{
    const bool hadLoop = hasLoop();
    emit objectWillChange();
    m_loopEnd = seconds;
    emit changed();
    if (!hadLoop && hasLoop())
        takeNewLoopSerial();
    handOverLoop();
}

double AudioPlayer::speedStep(double speed)
{
    if (!std::isfinite(speed))
        return 1.0;
    return std::clamp(std::round(speed * 20) / 20, TimeStretcher::slowest, TimeStretcher::fastest);
}

void AudioPlayer::setSpeed(double speed)
{
    emit objectWillChange();
    m_speed = speedStep(speed);
    emit changed();
    if (m_player)
        m_player->setSpeed(m_speed);
}

void AudioPlayer::setLoop(std::optional<double> startSeconds, std::optional<double> endSeconds)
{
    emit objectWillChange();
    m_loopStart = startSeconds;
    emit changed();
    emit objectWillChange();
    m_loopEnd = endSeconds;
    emit changed();
    if (hasLoop())
        takeNewLoopSerial();
    handOverLoop();
}

void AudioPlayer::setDrill(DrillSettings drill)
{
    emit objectWillChange();
    m_drill = drill;
    emit changed();
    handOverLoop();
}

void AudioPlayer::setNextLoopFinder(NextLoopFinder finder)
{
    m_nextLoopFinder = std::move(finder);
    handOverLoop();
}

void AudioPlayer::refreshNextLoop()
{
    handOverLoop();
}

void AudioPlayer::setLoopPass(int pass)
{
    if (pass == m_loopPass)
        return;
    emit objectWillChange();
    m_loopPass = pass;
    emit changed();
}

void AudioPlayer::setPassPauseSecondsLeft(double seconds)
{
    if (seconds == m_passPauseSecondsLeft)
        return;
    emit objectWillChange();
    m_passPauseSecondsLeft = seconds;
    emit changed();
}

// The player plays the loop in its audio; it hears of every change of the
// bounds at once, so a moved end is obeyed within one device buffer.
// A loop's next region (hands-free drilling) is handed over as serial + 1:
// a new loop skips that one, so that audio still moving on to the region
// after an older loop is never taken for the new loop's.
void AudioPlayer::takeNewLoopSerial()
{
    m_loopSerial += 2;
    m_newLoopHandedOver = false;
}

void AudioPlayer::handOverLoop()
{
    if (m_player) {
        std::optional<LoopPlan> plan;
        if (hasLoop()) {
            plan = LoopPlan{};
            plan->region = {m_player->frameAt(*m_loopStart), m_player->frameAt(*m_loopEnd), m_loopSerial};
            plan->passes = m_drill.passes;
            plan->pause = m_drill.pause;
            m_nextLoop.reset();
            if (m_drill.passes > 0 && m_nextLoopFinder)
                m_nextLoop = m_nextLoopFinder(*m_loopStart, *m_loopEnd);
            if (m_nextLoop)
                plan->next = LoopRegion{m_player->frameAt(m_nextLoop->first), m_player->frameAt(m_nextLoop->second),
                                        m_loopSerial + 1};
            if (plan->region.lengthFrames() <= 0)
                plan.reset();  // both bounds past the track's end
        }
        m_player->setLoop(plan);
        if (!m_newLoopHandedOver) {
            m_newLoopHandedOver = true;
            m_newLoopGeneration = m_player->requestedGeneration();
        }
    }
    settleSoon();
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
    setIsPlaying(false, true);
    setLoopStart(std::nullopt);
    setLoopEnd(std::nullopt);
    stopTimer();
    settleSoon();
    // Shown at once, not at the next tick: a relative seek that follows at
    // once (an arrow key, the desktop's Seek after its Next) goes from here.
    const double position = m_player ? m_player->currentTime() : 0.0;
    storeCurrentTime(position);
    Log::line(QStringLiteral("Stop: currentTime=%1, loop cleared").arg(Log::formatDouble(position)));
}

void AudioPlayer::playTrack(qint64 index, OnFailure onFailure)
{
    if (!loadTrack(index, onFailure))
        return;
    m_player->play();
    setIsPlaying(true, false);
    startTimer();
    const QString name = m_currentTrack ? m_currentTrack->fileName() : QStringLiteral("none");
    Log::line(QStringLiteral("Playing: ") + name);
}

void AudioPlayer::cueTrack(qint64 index, std::optional<bool> stopped)
{
    // Loaded while paused, the track is paused at its start, not stopped
    // (a load stops what played before).
    const bool wasStopped = stopped.value_or(m_stopped);
    if (!loadTrack(index))
        return;
    if (!wasStopped)
        setIsPlaying(false, false);
    settleSoon();
    Log::line(QStringLiteral("Cued: ") + m_currentTrack->fileName());
}

bool AudioPlayer::loadTrack(qint64 index, OnFailure onFailure)
{
    if (index < 0 || index >= m_playlist.size())
        return false;
    if (onFailure == OnFailure::Stop)
        stop();
    m_failedStep.reset();
    const QUrl url = m_playlist.at(index);
    QString error;
    std::unique_ptr<FilePlayer> loaded = FilePlayer::load(url, &error);
    if (!loaded) {
        Log::line(QStringLiteral("Error playing track: ") + error);
        return false;
    }
    if (onFailure == OnFailure::KeepTrack)
        stop();
    m_player = std::move(loaded);
    ++m_loadCount;
    m_lastHeard = {};
    m_newLoopGeneration = 0;  // the new player counts its own
    m_currentTrackIndex = index;
    setCurrentTrack(url);
    m_player->setVolume(m_volume);
    m_player->setSpeed(m_speed);
    return true;
}

// A file that stopped answering (a drive unplugged, then plugged in again)
// is opened afresh to play again, at the position held, with its loop (its
// passes counted afresh, as the new player hears them): the old handle would
// end at once. When it cannot be opened, the line says why and nothing plays.
bool AudioPlayer::reopenAfterReadFailure()
{
    if (!m_player->readFailedAtSeconds() || !m_currentTrack)
        return true;
    QString error;
    std::unique_ptr<FilePlayer> reopened = FilePlayer::load(*m_currentTrack, &error);
    if (!reopened) {
        Log::line(QStringLiteral("Error playing track: ") + error);
        return false;
    }
    const double position = m_player->currentTime();
    m_player = std::move(reopened);
    m_lastHeard = {};
    m_newLoopGeneration = 0;
    m_player->setVolume(m_volume);
    m_player->setSpeed(m_speed);
    m_player->setCurrentTime(position);
    takeNewLoopSerial();
    handOverLoop();
    return true;
}

std::optional<qint64> AudioPlayer::currentTrackIndex() const
{
    if (!m_currentTrack)
        return std::nullopt;
    if (m_currentTrackIndex < m_playlist.size() && m_playlist.at(m_currentTrackIndex) == *m_currentTrack)
        return m_currentTrackIndex;
    const qsizetype found = m_playlist.indexOf(*m_currentTrack);
    if (found < 0)
        return std::nullopt;
    return found;
}

void AudioPlayer::noteStepFailedAt(qint64 index)
{
    if (index >= 0 && index < m_playlist.size())
        m_failedStep = FailedStep{index, m_playlist.at(index), m_currentTrack, currentTrackIndex()};
}

std::optional<qint64> AudioPlayer::stepFailedAt() const
{
    if (!m_failedStep || m_failedStep->loadedThen != m_currentTrack || m_failedStep->loadedFrom != currentTrackIndex()
        || m_failedStep->index >= m_playlist.size() || m_playlist.at(m_failedStep->index) != m_failedStep->track)
        return std::nullopt;
    return m_failedStep->index;
}

void AudioPlayer::togglePlayPause()
{
    if (m_isPlaying) {
        if (m_player)
            m_player->pause();
        setIsPlaying(false, false);
        stopTimer();
        settleSoon();
        return;
    }
    // A loaded track resumes even when the list it came from is gone (a new,
    // empty playlist was made while it played): it is still right there.
    if (m_player) {
        if (!reopenAfterReadFailure())
            return;
        m_player->play();
        setIsPlaying(true, false);
        startTimer();
        return;
    }
    if (m_playlist.isEmpty())
        return;
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
    settleSoon();
}

void AudioPlayer::applyVolume(float level)
{
    setVolume(level);
    if (m_player)
        m_player->setVolume(level);
}

void AudioPlayer::tick()
{
    storeCurrentTime(m_player ? m_player->currentTime() : 0.0);
    followHeardLoop();
    enforceLoop();
    finishIfRunOut();
}

// While playing, the loop is kept in the audio and followHeardLoop() reports
// its jumps; this covers the rest: paused (or stopped) with the position at or
// beyond the loop's end, it is pulled back to the start. Not a track whose
// data ran out before the loop's end (a file cut short): it ends there, as
// finishIfRunOut() sees to, rather than be sent back into the loop forever.
void AudioPlayer::enforceLoop()
{
    if (!m_player || !m_loopStart || !m_loopEnd || m_player->hasReachedEnd())
        return;
    if (!(*m_loopStart < *m_loopEnd))
        return;
    if (m_player->isPlaying())
        return;
    const double position = m_player->currentTime();
    if (!(position >= *m_loopEnd))  // also returns for a position that does not compare
        return;
    seek(*m_loopStart);
}

// What the loop did in the audio, told as it is heard: each jump back to the
// start is one "Seek to: " line, as a seek by the tick would have been; a loop
// whose last pass ended is cleared.
void AudioPlayer::followHeardLoop()
{
    if (!m_player) {
        setLoopPass(0);
        setPassPauseSecondsLeft(0);
        return;
    }
    const FilePlayer::Heard heard = m_player->heard();
    // Until the new audio (a seek, the loop nudged, the speed stepped) is
    // heard, the old audio's last marks are kept to weigh it against.
    const bool newAudioUnheard = !heard.any && heard.generation != m_lastHeard.generation;
    std::uint32_t turnsBetweenGenerations = 0;
    if (heard.generation != m_lastHeard.generation && !newAudioUnheard) {
        // New audio goes on with the pass the output was in: a turn the old
        // audio made, heard since the last tick, is in neither's count of
        // jumps, but in the passes. (A jump the new audio began with, from
        // past the loop's end, counts no pass.)
        const LoopMarks& last = m_lastHeard.marks;
        const std::uint32_t passTurns = heard.marks.wraps - heard.marks.jumpsAtBegin;  // (counted with the wraps)
        if (last.region != 0 && heard.marks.region == last.region && heard.marks.pass > last.pass + passTurns)
            turnsBetweenGenerations = heard.marks.pass - last.pass - passTurns;
        m_lastHeard = {heard.generation, {}, 0};
    }
    const LoopMarks& before = newAudioUnheard ? heard.marks : m_lastHeard.marks;
    const bool wentBack = m_loopStart && hasLoop() && (heard.marks.wraps > before.wraps || turnsBetweenGenerations > 0);
    // A finish or a move on heard in audio made before the learner's latest
    // loop belonged to the loop before it; so does a move on to any region
    // but the one handed over after this loop.
    const bool aboutThisLoop = heard.generation >= m_newLoopGeneration;
    bool finished = aboutThisLoop && heard.marks.finishes > before.finishes;
    const bool movedOn = aboutThisLoop && heard.marks.advances > before.advances;
    // A window held up (a slow open) for longer than the next region's
    // passes hears the move on to it and the end of them at once: the audio
    // was told of no region after that one, so it finished there.
    const bool movedOnAndFinished = movedOn && finished && heard.marks.region == 0;
    const bool advanced = movedOn && (heard.marks.region == m_loopSerial + 1 || movedOnAndFinished);
    const bool takesMove = advanced && hasLoop() && m_nextLoop;
    // Wraps heard after the move (a tick held up over passes of both) went
    // back to the new region's start, and are told after the move.
    const std::uint32_t wrapsBeforeMove =
        takesMove ? std::clamp(heard.marks.wrapsBeforeAdvance, before.wraps, heard.marks.wraps) : heard.marks.wraps;
    if (wentBack)
        logWrapsBack(turnsBetweenGenerations + wrapsBeforeMove - before.wraps);
    if (!newAudioUnheard)
        m_lastHeard = heard;
    if (takesMove) {
        // The audio went on to the next region: it is the loop now, with the
        // serial the decoder gave it, so its passes are counted on.
        const auto [start, end] = *m_nextLoop;
        ++m_loopSerial;
        emit objectWillChange();
        m_loopStart = start;
        emit changed();
        emit objectWillChange();
        m_loopEnd = end;
        emit changed();
        handOverLoop();
        logLoopMovedOn();
        emit loopAdvanced();
        if (wentBack)
            logWrapsBack(heard.marks.wraps - wrapsBeforeMove);
        if (movedOnAndFinished && m_nextLoop) {
            // Its passes were heard: the drill goes on from the start of the
            // region after it, where the audio would have gone.
            const auto [nextStart, nextEnd] = *m_nextLoop;
            setLoop(nextStart, nextEnd);
            logLoopMovedOn();
            seek(nextStart);
            setCurrentTime(nextStart);
            emit loopAdvanced();
            finished = false;  // the loop the audio finished is behind
        }
    }
    // Until anything of the latest seek or loop is heard (for as long as the
    // learner keeps it paused), the audio tells no pass: a seek within the
    // loop goes on with the pass shown, a new loop starts at its first.
    if (!hasLoop()) {
        setLoopPass(0);
        setPassPauseSecondsLeft(0);
    } else if (heard.any && aboutThisLoop) {
        setLoopPass(int(std::max<std::uint32_t>(heard.marks.pass, 1)));
        setPassPauseSecondsLeft(heard.pauseSecondsLeft);
        m_passHeardForSerial = m_loopSerial;
    } else {
        if (m_passHeardForSerial != m_loopSerial)
            setLoopPass(1);
        setPassPauseSecondsLeft(0);
    }
    if (wentBack) {
        // Told at the place now heard: the position was read before the
        // going back may have been.
        storeCurrentTime(m_player->currentTime());
        emit loopWentBack();
    }
    if (finished && hasLoop()) {
        setLoopStart(std::nullopt);
        setLoopEnd(std::nullopt);
        Log::line(QStringLiteral("Loop cleared"));
        emit loopFinished();
    }
}

// Each jump back to the loop's start heard, told as the tick's seek there
// would have been.
void AudioPlayer::logWrapsBack(std::uint32_t wraps) const
{
    const double start = std::clamp(*m_loopStart, 0.0, m_player->duration());
    for (std::uint32_t wrap = 0; wrap < wraps; ++wrap)
        Log::line(QStringLiteral("Seek to: ") + Log::formatDouble(start));
}

void AudioPlayer::logLoopMovedOn() const
{
    Log::line(QStringLiteral("Loop moved on to ") + Log::formatDouble(*m_loopStart) + QStringLiteral(" to ")
              + Log::formatDouble(*m_loopEnd));
}

void AudioPlayer::settleSoon()
{
    if (!m_timer)
        m_settleTimer->start();
}

// A track that has been heard to its end stops being "playing", and rewinds,
// so the next toggle plays it again from the start. One whose reads failed
// (a drive unplugged) did not end: it stays where it stopped, for Play to go
// on from there once the file answers again.
void AudioPlayer::finishIfRunOut()
{
    if (!m_isPlaying || !m_player || !m_player->hasReachedEnd())
        return;
    m_player->pause();
    const double stoppedAt = m_player->readFailedAtSeconds().value_or(0.0);
    m_player->setCurrentTime(stoppedAt);
    setIsPlaying(false, !m_player->readFailedAtSeconds());  // a read that failed did not end it
    stopTimer();
    storeCurrentTime(stoppedAt);
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
