#include "state/ContentState.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "state/DrillOptions.h"
#include "state/SeekInterval.h"
#include "state/SpeedOption.h"

#include <algorithm>

ContentState::ContentState(DefaultsStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    // Only a step the menu offers is taken. Anything else (a negative one
    // would turn the arrows around, a huge one jump to the ends) counts as
    // never chosen; it stays in the file, readable, until the menu replaces it.
    const double stored = defaults.doubleValue(seekIntervalKey);
    const bool offered = std::find(seekIntervalChoicesSeconds.begin(), seekIntervalChoicesSeconds.end(), stored)
        != seekIntervalChoicesSeconds.end();
    m_seekInterval = offered ? stored : defaultSeekIntervalSeconds;
    // 0 (and what reads as no number) has always meant "never chosen".
    if (!offered && stored != 0)
        Log::line(QStringLiteral("Stored seek interval %1 is not one of the steps offered, so %2 is used")
                      .arg(defaults.value(seekIntervalKey).toString(), seekIntervalLabel(m_seekInterval)));
    m_audioPlayer.setDrill(DrillOptions::stored(defaults));
    m_audioPlayer.setSpeed(SpeedOption::stored(defaults));
    // A loop that ran its passes out is gone: the next loop key press starts a new one.
    connect(&m_audioPlayer, &AudioPlayer::loopFinished, this, [this] { setIsSettingLoop(false); });

    m_drillThenNextPhrase = DrillOptions::storedThenNextPhrase(defaults);
    m_audioPlayer.setNextLoopFinder([this](double start, double end) -> std::optional<std::pair<double, double>> {
        if (!m_drillThenNextPhrase || !m_phraseMap)
            return std::nullopt;
        const std::optional<int> next = m_phraseMap->phraseAfterLoop(start, end);
        if (!next)
            return std::nullopt;
        const PhraseLoop bounds = m_phraseMap->loopBounds(*next);
        return std::pair{bounds.startSeconds, bounds.endSeconds};
    });
    connect(&m_audioPlayer, &AudioPlayer::changed, this, &ContentState::followCurrentTrack);
    connect(&m_phraseMapper, &PhraseMapper::progressed, this, [this](const QString& path, double fraction) {
        if (m_mappedTrack && path == m_mappedTrack->toLocalFile())
            setPhraseMap(std::nullopt, fraction);
    });
    connect(&m_phraseMapper, &PhraseMapper::mapped, this, [this](const QString& path, const PhraseMap& map) {
        if (m_mappedTrack && path == m_mappedTrack->toLocalFile()) {
            setPhraseMap(map, -1);
            m_audioPlayer.refreshNextLoop();  // the next phrase is known now
        }
    });
    connect(&m_phraseMapper, &PhraseMapper::failed, this, [this](const QString& path, const QString& error) {
        if (m_mappedTrack && path == m_mappedTrack->toLocalFile()) {
            setPhraseMap(std::nullopt, -1);
            Log::line(QStringLiteral("Phrases not found: ") + error);
        }
    });
}

// A new track is mapped at once, in the background; the old map goes. So is
// the same file loaded again: it may have changed since (recorded again, a
// download finished), and a map that could not be made may be made now; one
// unchanged comes from the cache at once.
void ContentState::followCurrentTrack()
{
    const FilePlayer* loaded = m_audioPlayer.player();
    const std::optional<QUrl>& track = loaded ? m_audioPlayer.currentTrack() : std::nullopt;
    if (track == m_mappedTrack && loaded == m_mappedPlayer)
        return;
    m_mappedTrack = track;
    m_mappedPlayer = loaded;
    if (!track || !track->isLocalFile()) {
        m_phraseMapper.cancel();
        setPhraseMap(std::nullopt, -1);
        return;
    }
    setPhraseMap(std::nullopt, 0);
    m_phraseMapper.map(track->toLocalFile());
}

void ContentState::setPhraseMap(std::optional<PhraseMap> map, double progress)
{
    m_phraseMap = std::move(map);
    m_phraseMapProgress = progress;
    emit changed(Field::PhraseMap);
}

void ContentState::setDrillThenNextPhrase(bool value)
{
    m_drillThenNextPhrase = value;
    emit changed(Field::DrillThenNextPhrase);
    m_audioPlayer.refreshNextLoop();
}

void ContentState::setIsSettingLoop(bool value)
{
    m_isSettingLoop = value;
    emit changed(Field::IsSettingLoop);
}

void ContentState::setButtonScale(double value)
{
    m_buttonScale = value;
    emit changed(Field::ButtonScale);
}

void ContentState::setShowUserGuide(bool value)
{
    m_showUserGuide = value;
    emit changed(Field::ShowUserGuide);
}

void ContentState::setSeekInterval(double seconds)
{
    m_seekInterval = seconds;
    emit changed(Field::SeekInterval);
}

void ContentState::setPlaylists(Playlists value)
{
    m_playlists = std::move(value);
    emit changed(Field::Playlists);
}

void ContentState::setCurrentPlaylist(QString name)
{
    m_currentPlaylist = std::move(name);
    emit changed(Field::CurrentPlaylist);
}

void ContentState::setNewPlaylistName(QString text)
{
    m_newPlaylistName = std::move(text);
    emit changed(Field::NewPlaylistName);
}

void ContentState::setShowNewPlaylistPrompt(bool value)
{
    m_showNewPlaylistPrompt = value;
    emit changed(Field::ShowNewPlaylistPrompt);
}

void ContentState::setExpandedPlaylists(PlaylistNameSet value)
{
    m_expandedPlaylists = std::move(value);
    emit changed(Field::ExpandedPlaylists);
}

void ContentState::setSavedLoops(SavedLoops value)
{
    m_savedLoops = std::move(value);
    emit changed(Field::SavedLoops);
}

void ContentState::setRecalledLoop(std::optional<RecalledLoop> value)
{
    m_recalledLoop = std::move(value);
    emit changed(Field::RecalledLoop);
}
