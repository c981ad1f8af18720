#pragma once

#include "library/PlaylistCodec.h"
#include "state/Playlists.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>

class ContentState;

// The playlist library's operations on the window's state: storing and
// loading the playlists, and what the playlist panel and the new-playlist
// sheet ask of it. After each operation the engine's playlist holds the tracks
// of the current playlist (closing a row leaves both alone). Main thread only.
class PlaylistLibrary : public QObject {
    Q_OBJECT

public:
    // The value under "playlists" that could not be read is kept under
    // "unreadablePlaylists/<n>" of the same store.
    static inline const QString unreadableGroup = QStringLiteral("unreadablePlaylists");
    // Track strings that could not be read are kept under
    // "unreadableTracks/<n>": JSON, playlist name to its unreadable strings.
    static inline const QString unreadableTracksGroup = QStringLiteral("unreadableTracks");

    // How long a save may hold up its caller before its line is written
    // later: long enough for any library of usual size, short enough that the
    // window never waits noticeably on a huge one or a slow disk.
    static constexpr std::chrono::milliseconds defaultSaveWait{30};

    explicit PlaylistLibrary(ContentState& state, QObject* parent = nullptr);

    // Persistence.
    void savePlaylists();
    // Tests that read the lines in order under a slow sanitizer wait longer.
    void setSaveWait(std::chrono::milliseconds wait) { m_saveWait = wait; }
    void loadPlaylists();
    // Names in ascending order of their Unicode scalars (canonically
    // normalised): the order of the rows, and who becomes current.
    QStringList sortedPlaylistNames() const;

    // Operations.
    void addPlaylist();
    // Closes the new-playlist sheet, then empties its name. Writes nothing.
    void cancelNewPlaylist();
    void deletePlaylist();
    bool isPlaylistExpanded(const QString& name) const;
    void setPlaylistExpanded(const QString& name, bool expanded);
    void togglePlaylistExpansion(const QString& name);
    void playTrackInPlaylist(const QString& name, const Track& track);
    // Where the dialog for adding files opens: beside the current playlist's
    // last track that still has a folder, else the music folder, else home.
    QString startDirectoryForAdding() const;
    // The completion of that dialog (accepted, or cancelled); the files go to
    // whatever playlist is current now, but for what is not audio by its name
    // or not on this machine, which is left out with a line saying so.
    void addPickedFiles(bool accepted, const QList<QUrl>& urls);

    enum class AddedPlayback {
        // As Add Files: the playlist's first track plays when nothing has
        // been loaded in this window yet.
        FirstTrackIfNothingLoaded,
        // Opened from outside (the command line, another start, the media
        // controls): the first of the files that loads plays, whatever played
        // before; those the playlist lists already are not listed again but
        // played where they are.
        FirstOpened,
        // Nothing starts (files added as Rivetone quits).
        None,
        // Opened from outside, and Rivetone quits before they are added:
        // listed as FirstOpened lists them, but nothing starts.
        OpenedAsQuitting,
    };
    // Files from outside the dialog (dropped, or given on the command line):
    // appended to the playlist of that name (made when there is none), which
    // becomes current and opens, stored and logged as Add Files does. How
    // many were added.
    qsizetype addFilesTo(const QString& name, const QList<QUrl>& urls, AddedPlayback playback);

private:
    qsizetype appendFiles(const QString& name, const QList<QUrl>& urls, AddedPlayback playback);
    void openAndSelect(const QString& name, const QString& logPrefix);
    void keepUnreadableTracks(const PlaylistCodec::Decoded& decoded);
    // The one place the engine's track list is set: name becomes the current
    // playlist (in the library's own spelling) and its tracks go to the engine.
    void makeCurrent(const QString& name);
    // Opens or closes one row.
    void setRowOpen(const QString& name, bool open);

    ContentState& m_state;
    std::chrono::milliseconds m_saveWait = defaultSaveWait;
};
