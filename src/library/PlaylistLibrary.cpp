#include "library/PlaylistLibrary.h"

#include "engine/AudioPlayer.h"
#include "engine/Log.h"
#include "library/AudioFilePicker.h"
#include "library/ContentState.h"
#include "library/DefaultsStore.h"
#include "library/PlaylistCodec.h"
#include "library/ValueBackup.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

PlaylistLibrary::PlaylistLibrary(ContentState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
{
}

void PlaylistLibrary::savePlaylists()
{
    const QByteArray bytes = PlaylistCodec::encode(m_state.playlists());
    QString error;
    if (!m_state.defaults().setData(ContentState::playlistsKey, bytes, &error)) {
        Log::line(QStringLiteral("Error saving playlists: ") + error);
        return;
    }
    Log::line(QStringLiteral("Playlists saved: ") + Log::formatNameList(m_state.playlists().names()));
}

void PlaylistLibrary::loadPlaylists()
{
    DefaultsStore& store = m_state.defaults();
    const QVariant stored = store.value(ContentState::playlistsKey);
    if (!stored.isValid() && store.contains(ContentState::playlistsKey)) {
        // Stored as a type this program cannot even hold as a value: it
        // cannot be copied under another key, so the whole file is copied.
        const DefaultsStore::FileCopy copy = store.keepCopyOfFile();
        const QString where = copy.written
            ? QStringLiteral("; the settings file as it was is kept as %1").arg(copy.path)
            : QStringLiteral("; a copy of the settings file cannot be made (%1), so nothing is written to it until one can")
                  .arg(copy.error);
        Log::line(QStringLiteral("Error loading playlists: the stored value is of a type that cannot be read") + where);
        m_state.setPlaylists(Playlists());
        m_state.setCurrentPlaylist(QString());
        return;
    }
    if (!stored.isValid()) {
        m_state.setPlaylists(Playlists());
        m_state.setCurrentPlaylist(QString());
        savePlaylists();
        return;
    }

    PlaylistCodec::Decoded decoded;
    if (stored.typeId() == QMetaType::QByteArray)
        decoded = PlaylistCodec::decode(stored.toByteArray());
    else
        decoded.error = QStringLiteral("expected stored bytes, found a value of type %1").arg(stored.typeName());

    if (!decoded.playlists) {
        // Starting empty is fine; overwriting what the user had with the next
        // save is not. Copy it aside first, where no write of ours reaches.
        const ValueBackup backup = ValueBackup::keep(store, unreadableGroup, stored);
        const QString where =
            backup.written
                ? QStringLiteral("; the unreadable value is kept under %1 in %2")
                      .arg(Log::quoted(backup.key), store.filePath())
                : QStringLiteral("; the unreadable value stays under %1 and goes to %2 in %3 with the next write (%4)")
                      .arg(Log::quoted(ContentState::playlistsKey), Log::quoted(backup.key), store.filePath(),
                           backup.error);
        Log::line(QStringLiteral("Error loading playlists: ") + decoded.error + where);
        m_state.setPlaylists(Playlists());
        m_state.setCurrentPlaylist(QString());
        return;
    }

    m_state.setPlaylists(std::move(*decoded.playlists));
    const QStringList sorted = sortedPlaylistNames();
    const QString current = sorted.isEmpty() ? QString() : sorted.first();
    m_state.setCurrentPlaylist(current);
    m_state.audioPlayer().setPlaylist(m_state.playlists().tracks(current));
    PlaylistNameSet expanded;
    if (!m_state.playlists().isEmpty())
        expanded.insert(current);
    m_state.setExpandedPlaylists(std::move(expanded));
    Log::line(QStringLiteral("Playlists loaded: ") + Log::formatNameList(m_state.playlists().names()));
}

QStringList PlaylistLibrary::sortedPlaylistNames() const
{
    QStringList names = m_state.playlists().names();
    std::sort(names.begin(), names.end(), PlaylistName::lessThan);
    return names;
}

void PlaylistLibrary::addPlaylist()
{
    // QString::trimmed removes what QChar::isSpace calls space: every Unicode
    // space and line or paragraph separator, tab to carriage return, and NEL.
    const QString name = m_state.newPlaylistName().trimmed();
    if (name.isEmpty() || m_state.playlists().contains(name)) {
        Log::line(QStringLiteral("Invalid or duplicate playlist name: ") + name);
        return;
    }
    Playlists playlists = m_state.playlists();
    playlists.insert(name, TrackList());
    m_state.setPlaylists(std::move(playlists));
    m_state.setCurrentPlaylist(name);
    // What plays goes on playing; only the list it draws from changes.
    m_state.audioPlayer().setPlaylist(TrackList());
    PlaylistNameSet expanded = m_state.expandedPlaylists();
    expanded.insert(name);
    m_state.setExpandedPlaylists(std::move(expanded));
    savePlaylists();
    m_state.setNewPlaylistName(QString());
    m_state.setShowNewPlaylistPrompt(false);
    Log::line(QStringLiteral("Added playlist: ") + name);
}

void PlaylistLibrary::cancelNewPlaylist()
{
    // Closed first, so the sheet is gone before its field empties.
    m_state.setShowNewPlaylistPrompt(false);
    m_state.setNewPlaylistName(QString());
}

void PlaylistLibrary::deletePlaylist()
{
    const QString name = m_state.currentPlaylist();
    Playlists playlists = m_state.playlists();
    playlists.remove(name);
    m_state.setPlaylists(std::move(playlists));
    PlaylistNameSet expanded = m_state.expandedPlaylists();
    expanded.remove(name);
    m_state.setExpandedPlaylists(expanded);

    const QStringList sorted = sortedPlaylistNames();
    const QString current = sorted.isEmpty() ? QString() : sorted.first();
    m_state.setCurrentPlaylist(current);
    m_state.audioPlayer().setPlaylist(m_state.playlists().tracks(current));
    // Whenever a playlist is left, it becomes current and its row opens, also
    // a playlist whose name is the empty string.
    if (!sorted.isEmpty()) {
        expanded.insert(current);
        m_state.setExpandedPlaylists(std::move(expanded));
    }
    savePlaylists();
    Log::line(QStringLiteral("Deleted playlist, switched to: ") + current);
}

bool PlaylistLibrary::isPlaylistExpanded(const QString& name) const
{
    return m_state.expandedPlaylists().contains(name);
}

void PlaylistLibrary::setPlaylistExpanded(const QString& name, bool expanded)
{
    if (expanded) {
        openAndSelect(name, QStringLiteral("Selected playlist: "));
        return;
    }
    PlaylistNameSet names = m_state.expandedPlaylists();
    names.remove(name);
    m_state.setExpandedPlaylists(std::move(names));
}

void PlaylistLibrary::togglePlaylistExpansion(const QString& name)
{
    if (!isPlaylistExpanded(name)) {
        openAndSelect(name, QStringLiteral("Toggled playlist via label: "));
        return;
    }
    PlaylistNameSet names = m_state.expandedPlaylists();
    names.remove(name);
    m_state.setExpandedPlaylists(std::move(names));
}

void PlaylistLibrary::openAndSelect(const QString& name, const QString& logPrefix)
{
    PlaylistNameSet expanded = m_state.expandedPlaylists();
    expanded.insert(name);
    m_state.setExpandedPlaylists(std::move(expanded));
    showTracksOf(name);
    m_state.audioPlayer().stop();
    Log::line(logPrefix + name);
}

// Makes name the current playlist (in the library's own spelling of it) and
// hands its tracks to the engine.
void PlaylistLibrary::showTracksOf(const QString& name)
{
    m_state.setCurrentPlaylist(m_state.playlists().storedName(name));
    m_state.audioPlayer().setPlaylist(m_state.playlists().tracks(name));
}

void PlaylistLibrary::playTrackInPlaylist(const QString& name, const Track& track)
{
    showTracksOf(name);
    const TrackList* tracks = m_state.playlists().find(name);
    if (!tracks)
        return;
    // The same file may stand twice; every one of its rows plays the first.
    const qsizetype index = tracks->indexOf(track);
    if (index < 0)
        return;
    m_state.audioPlayer().playTrack(index);
}

void PlaylistLibrary::addFiles(QWidget* parent)
{
    AudioFilePicker::show(parent, startDirectoryForAdding(), this,
                          [this](int result, const QList<QUrl>& urls) { addPickedFiles(result, urls); });
}

// Where the learner most likely keeps the next lesson: beside the playlist's
// last track; for a new playlist, the music folder, or home.
QString PlaylistLibrary::startDirectoryForAdding() const
{
    const TrackList* tracks = m_state.playlists().find(m_state.currentPlaylist());
    if (tracks) {
        for (auto it = tracks->crbegin(); it != tracks->crend(); ++it) {
            const QFileInfo folder(QFileInfo(it->toLocalFile()).absolutePath());
            if (it->isLocalFile() && folder.isDir())
                return folder.absoluteFilePath();
        }
    }
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return QFileInfo(music).isDir() ? music : QDir::homePath();
}

void PlaylistLibrary::addPickedFiles(int result, const QList<QUrl>& urls)
{
    if (result != QDialog::Accepted)
        return;
    // Read now, not when the dialog opened: the user may have chosen another
    // playlist, or deleted the last one, in the meantime.
    const QString name = m_state.currentPlaylist();
    Playlists playlists = m_state.playlists();
    if (!playlists.contains(name))
        playlists.insert(name, TrackList());
    playlists.find(name)->append(urls);
    m_state.setPlaylists(std::move(playlists));
    m_state.audioPlayer().setPlaylist(m_state.playlists().tracks(name));
    PlaylistNameSet expanded = m_state.expandedPlaylists();
    expanded.insert(name);
    m_state.setExpandedPlaylists(std::move(expanded));
    savePlaylists();

    AudioPlayer& player = m_state.audioPlayer();
    if (!player.player() && !player.playlist().isEmpty())
        player.playTrack(0);

    QStringList fileNames;
    fileNames.reserve(urls.size());
    for (const QUrl& url : urls)
        fileNames << url.fileName();
    Log::line(QStringLiteral("Added files to ") + name + QStringLiteral(": ") + Log::formatNameList(fileNames));
}
