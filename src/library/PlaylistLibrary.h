#pragma once

#include "library/Playlists.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class ContentState;
class QWidget;

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

    explicit PlaylistLibrary(ContentState& state, QObject* parent = nullptr);

    // Persistence.
    void savePlaylists();
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
    // Opens the dialog for adding files and returns at once; the files are
    // added to whatever playlist is current when the dialog closes.
    void addFiles(QWidget* parent);
    // The dialog's completion: result is QDialog::Accepted (1) or Rejected.
    void addPickedFiles(int result, const QList<QUrl>& urls);

private:
    void openAndSelect(const QString& name, const QString& logPrefix);
    void showTracksOf(const QString& name);
    QString startDirectoryForAdding() const;

    ContentState& m_state;
};
