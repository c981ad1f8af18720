#pragma once

#include "engine/AudioPlayer.h"
#include "engine/PhraseMap.h"
#include "engine/PhraseMapper.h"
#include "state/Playlists.h"
#include "state/SavedLoops.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class DefaultsStore;

// The stored state of the main window: its playback engine, the view state
// and the playlist library. Views read it from here and redraw on changed().
class ContentState : public QObject {
    Q_OBJECT

public:
    enum class Field {
        IsSettingLoop,
        ButtonScale,
        ShowUserGuide,
        SeekInterval,
        Playlists,
        CurrentPlaylist,
        NewPlaylistName,
        ShowNewPlaylistPrompt,
        ExpandedPlaylists,
        SavedLoops,
        RecalledLoop,
        PhraseMap,
        DrillThenNextPhrase,
    };
    Q_ENUM(Field)

    static constexpr double defaultSeekIntervalSeconds = 2.0;
    static inline const QString playlistsKey = QStringLiteral("playlists");
    static inline const QString seekIntervalKey = QStringLiteral("seekInterval");

    // Reads the seek interval from the store; everything else starts empty.
    explicit ContentState(DefaultsStore& defaults, QObject* parent = nullptr);

    DefaultsStore& defaults() const { return m_defaults; }
    AudioPlayer& audioPlayer() { return m_audioPlayer; }
    const AudioPlayer& audioPlayer() const { return m_audioPlayer; }

    bool isSettingLoop() const { return m_isSettingLoop; }
    double buttonScale() const { return m_buttonScale; }
    bool showUserGuide() const { return m_showUserGuide; }
    double seekInterval() const { return m_seekInterval; }
    const Playlists& playlists() const { return m_playlists; }
    const QString& currentPlaylist() const { return m_currentPlaylist; }
    const QString& newPlaylistName() const { return m_newPlaylistName; }
    bool showNewPlaylistPrompt() const { return m_showNewPlaylistPrompt; }
    const PlaylistNameSet& expandedPlaylists() const { return m_expandedPlaylists; }
    const SavedLoops& savedLoops() const { return m_savedLoops; }
    // The saved loop last recalled, as stored, and its track: of several
    // that a shorter file cuts to the same loop, the one in force.
    struct RecalledLoop {
        QString track;
        SavedLoop loop;
        bool operator==(const RecalledLoop&) const = default;
    };
    const std::optional<RecalledLoop>& recalledLoop() const { return m_recalledLoop; }
    // The current track's phrase map, once made; and while it is being made,
    // the share done (0...1), else a negative number.
    const std::optional<PhraseMap>& phraseMap() const { return m_phraseMap; }
    double phraseMapProgress() const { return m_phraseMapProgress; }
    // Drilling hands-free: after the last pass the loop moves to the next phrase.
    bool drillThenNextPhrase() const { return m_drillThenNextPhrase; }

    // Each store emits changed() after the value is in place, also when it
    // did not change.
    void setIsSettingLoop(bool value);
    void setButtonScale(double value);
    void setShowUserGuide(bool value);
    void setSeekInterval(double seconds);
    void setPlaylists(Playlists value);
    void setCurrentPlaylist(QString name);
    void setNewPlaylistName(QString text);
    void setShowNewPlaylistPrompt(bool value);
    void setExpandedPlaylists(PlaylistNameSet value);
    void setSavedLoops(SavedLoops value);
    void setRecalledLoop(std::optional<RecalledLoop> value);
    void setDrillThenNextPhrase(bool value);
    // Copy, change, store: one store (and one changed()) per edit.
    template <typename Edit>
    void editPlaylists(Edit&& edit)
    {
        Playlists playlists = m_playlists;
        edit(playlists);
        setPlaylists(std::move(playlists));
    }
    template <typename Edit>
    void editExpandedPlaylists(Edit&& edit)
    {
        PlaylistNameSet rows = m_expandedPlaylists;
        edit(rows);
        setExpandedPlaylists(std::move(rows));
    }

signals:
    void changed(ContentState::Field field);

private:
    DefaultsStore& m_defaults;
    AudioPlayer m_audioPlayer;
    bool m_isSettingLoop = false;
    double m_buttonScale = 1.0;
    bool m_showUserGuide = false;
    double m_seekInterval = defaultSeekIntervalSeconds;
    Playlists m_playlists;
    QString m_currentPlaylist;
    QString m_newPlaylistName;
    bool m_showNewPlaylistPrompt = false;
    PlaylistNameSet m_expandedPlaylists;
    SavedLoops m_savedLoops;
    std::optional<RecalledLoop> m_recalledLoop;
    std::optional<PhraseMap> m_phraseMap;
    double m_phraseMapProgress = -1;
    bool m_drillThenNextPhrase = false;
    // The map follows the current track; made in the background.
    PhraseMapper m_phraseMapper;
    std::optional<QUrl> m_mappedTrack;
    const FilePlayer* m_mappedPlayer = nullptr;  // the load it was mapped for; compared, never used

    void followCurrentTrack();
    void setPhraseMap(std::optional<PhraseMap> map, double progress);
};
