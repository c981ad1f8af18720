#include "state/ContentState.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "state/DrillOptions.h"
#include "state/SeekInterval.h"

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
    // A loop that ran its passes out is gone: the next loop key press starts a new one.
    connect(&m_audioPlayer, &AudioPlayer::loopFinished, this, [this] { setIsSettingLoop(false); });
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
