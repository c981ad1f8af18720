#include "state/ContentState.h"

#include "base/DefaultsStore.h"

ContentState::ContentState(DefaultsStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    // 0 means "never chosen" (or unreadable); any other stored value is used as it is.
    const double stored = defaults.doubleValue(seekIntervalKey);
    m_seekInterval = stored == 0 ? defaultSeekIntervalSeconds : stored;
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
