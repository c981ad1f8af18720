#include "library/PlaylistLibrary.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "base/ValueBackup.h"
#include "engine/AudioPlayer.h"
#include "library/AudioFiles.h"
#include "library/PlaylistCodec.h"
#include "state/ContentState.h"
#include "state/Transport.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

PlaylistLibrary::PlaylistLibrary(ContentState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
{
}

// The library is encoded and written on the store's writer thread, so that a
// large one never holds up the window. The line says how it went: at once
// when the write is over within a moment (nearly always, for a library of
// any usual size), else when it is, in the place it would have had: the
// lines written meanwhile (the operation's own, next) wait behind it.
void PlaylistLibrary::savePlaylists()
{
    const Playlists library = m_state.playlists();
    DefaultsStore& store = m_state.defaults();
    const DefaultsStore::Ticket ticket =
        store.setDataMadeBy(ContentState::playlistsKey, [library] { return PlaylistCodec::encode(library); });
    const QString savedLine = QStringLiteral("Playlists saved: ") + Log::formatNameList(library.names());
    auto said = [savedLine](const DefaultsStore::Outcome& outcome) {
        return outcome.ok ? savedLine : QStringLiteral("Error saving playlists: ") + outcome.error;
    };
    if (const std::optional<DefaultsStore::Outcome> outcome = store.outcome(ticket, m_saveWait)) {
        Log::line(said(*outcome));
        return;
    }
    auto place = std::make_shared<Log::Reserved>();
    store.whenWritten(ticket, this, [said, place](const DefaultsStore::Outcome& outcome) { place->write(said(outcome)); });
}

void PlaylistLibrary::loadPlaylists()
{
    DefaultsStore& store = m_state.defaults();
    const QVariant stored = store.value(ContentState::playlistsKey);
    if (!stored.isValid() && store.contains(ContentState::playlistsKey)) {
        Log::line(QStringLiteral("Error loading playlists: the stored value is of a type that cannot be read")
                  + ValueBackup::keepWholeFile(store));
        // Kept in the copy: a library that reads (empty) takes its place, or
        // the next start would meet it, and copy the file, again.
        store.setData(ContentState::playlistsKey, PlaylistCodec::encode(Playlists()));
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
        const ValueBackup backup = ValueBackup::keep(store, unreadableGroup, stored, ContentState::playlistsKey);
        const QString where =
            backup.written
                ? QStringLiteral("; the unreadable value is kept under %1 in %2")
                      .arg(Log::quoted(backup.key), store.filePath())
                : QStringLiteral("; the unreadable value stays under %1 and goes to %2 in %3 with the next write (%4)")
                      .arg(Log::quoted(ContentState::playlistsKey), Log::quoted(backup.key), store.filePath(),
                           backup.error);
        Log::line(QStringLiteral("Error loading playlists: ") + decoded.error + where + ValueBackup::fileCopyNote(backup));
        m_state.setPlaylists(Playlists());
        m_state.setCurrentPlaylist(QString());
        return;
    }

    keepUnreadableTracks(decoded);
    if (!decoded.joinedNames.isEmpty())
        Log::line(QStringLiteral("Playlists stored more than once under one name are joined, no track lost: ")
                  + Log::formatNameList(decoded.joinedNames));
    m_state.setPlaylists(std::move(*decoded.playlists));
    const QStringList sorted = sortedPlaylistNames();
    const QString current = sorted.isEmpty() ? QString() : sorted.first();
    makeCurrent(current);
    PlaylistNameSet expanded;
    if (!m_state.playlists().isEmpty())
        expanded.insert(current);
    m_state.setExpandedPlaylists(std::move(expanded));
    Log::line(QStringLiteral("Playlists loaded: ") + Log::formatNameList(m_state.playlists().names()));
}

// Track strings that could not be read go under a key of their own, the way a
// whole unreadable value does, so that the next save (which writes the
// playlists without them) loses nothing.
void PlaylistLibrary::keepUnreadableTracks(const PlaylistCodec::Decoded& decoded)
{
    if (decoded.unreadableTracks.isEmpty())
        return;
    QJsonObject kept;
    qsizetype count = 0;
    for (auto it = decoded.unreadableTracks.constBegin(); it != decoded.unreadableTracks.constEnd(); ++it) {
        kept.insert(it.key(), QJsonArray::fromStringList(it.value()));
        count += it.value().size();
    }
    DefaultsStore& store = m_state.defaults();
    const ValueBackup backup =
        ValueBackup::keep(store, unreadableTracksGroup, QJsonDocument(kept).toJson(QJsonDocument::Compact));
    const QString where = backup.written
        ? QStringLiteral("kept under %1 in %2").arg(Log::quoted(backup.key), store.filePath())
        : QStringLiteral("still stored under %1, as they cannot be kept elsewhere (%2)")
              .arg(Log::quoted(ContentState::playlistsKey), backup.error);
    Log::line(QStringLiteral("Tracks that cannot be read: %1 in %2, %3")
                  .arg(QString::number(count), Log::formatNameList(decoded.unreadableTracks.keys()), where));
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
    m_state.editPlaylists([&](Playlists& playlists) { playlists.insert(name, TrackList()); });
    // What plays goes on playing; only the list it draws from changes.
    makeCurrent(name);
    setRowOpen(name, true);
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
    m_state.editPlaylists([&](Playlists& playlists) { playlists.remove(name); });
    setRowOpen(name, false);

    const QStringList sorted = sortedPlaylistNames();
    const QString current = sorted.isEmpty() ? QString() : sorted.first();
    makeCurrent(current);
    // Whenever a playlist is left, it becomes current and its row opens, also
    // a playlist whose name is the empty string.
    if (!sorted.isEmpty())
        setRowOpen(current, true);
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
    setRowOpen(name, false);
}

void PlaylistLibrary::togglePlaylistExpansion(const QString& name)
{
    if (!isPlaylistExpanded(name)) {
        openAndSelect(name, QStringLiteral("Toggled playlist via label: "));
        return;
    }
    setRowOpen(name, false);
}

void PlaylistLibrary::openAndSelect(const QString& name, const QString& logPrefix)
{
    setRowOpen(name, true);
    makeCurrent(name);
    m_state.audioPlayer().stop();
    Log::line(logPrefix + name);
}

// The engine's list is a copy of the current playlist's tracks, made here and
// only here, so the two cannot drift apart.
void PlaylistLibrary::makeCurrent(const QString& name)
{
    m_state.setCurrentPlaylist(m_state.playlists().storedName(name));
    m_state.audioPlayer().setPlaylist(m_state.playlists().tracks(name));
}

void PlaylistLibrary::setRowOpen(const QString& name, bool open)
{
    m_state.editExpandedPlaylists([&](PlaylistNameSet& rows) {
        if (open)
            rows.insert(name);
        else
            rows.remove(name);
    });
}

void PlaylistLibrary::playTrackInPlaylist(const QString& name, const Track& track)
{
    makeCurrent(name);
    const TrackList* tracks = m_state.playlists().find(name);
    if (!tracks)
        return;
    // The same file may stand twice; every one of its rows plays the first.
    const qsizetype index = tracks->indexOf(track);
    if (index < 0)
        return;
    m_state.audioPlayer().playTrack(index);
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

void PlaylistLibrary::addPickedFiles(bool accepted, const QList<QUrl>& urls)
{
    if (!accepted)
        return;
    // The dialog lists audio only, but takes a name typed in whatever it is
    // (and a desktop's own dialog may offer another machine's files); such
    // a file is left out, as from a drop or the command line.
    const AudioFiles::NameFilter audio;
    QList<QUrl> taken;
    QStringList notAudio, notHere;
    for (const QUrl& url : urls) {
        if (!AudioFiles::localPathOf(url))
            notHere << url.toDisplayString();
        else if (!audio.accepts(url.fileName()))
            notAudio << url.fileName();
        else
            taken << url;
    }
    if (!notAudio.isEmpty())
        Log::line(QStringLiteral("Left out, not MP3 or MPEG-4 audio: ") + Log::formatNameList(notAudio));
    if (!notHere.isEmpty())
        Log::line(QStringLiteral("Left out, not on this machine: ") + Log::formatNameList(notHere));
    if (taken.isEmpty())
        return;
    // Read now, not when the dialog opened: the user may have chosen another
    // playlist, or deleted the last one, in the meantime.
    appendFiles(m_state.currentPlaylist(), taken, AddedPlayback::FirstTrackIfNothingLoaded);
}

qsizetype PlaylistLibrary::addFilesTo(const QString& name, const QList<QUrl>& urls, AddedPlayback playback)
{
    return appendFiles(name, urls, playback);
}

qsizetype PlaylistLibrary::appendFiles(const QString& name, const QList<QUrl>& urls, AddedPlayback playback)
{
    // Opened, a file the playlist lists already is played where it is: a
    // learner who opens today's lesson from the file manager every day must
    // not find the list growing with copies of it.
    QList<QUrl> added = urls;
    QStringList alreadyListed;
    QList<qint64> opened;  // the entries of the files given, in their order
    const bool opensFromOutside = playback == AddedPlayback::FirstOpened || playback == AddedPlayback::OpenedAsQuitting;
    if (opensFromOutside) {
        const TrackList listed = m_state.playlists().tracks(name);
        // Reached through a linked folder (a lesson folder linked from a data
        // disk, browsed one way one day and the other way the next), a listed
        // file is still that file. Folders are resolved, once each, not the
        // files: a list of thousands has a few folders, and a listed link to
        // a single file ("latest.mp3") stays a file of its own.
        QHash<QString, QString> realFolderOf;
        const auto fileKey = [&](const QUrl& url) {
            if (url.isLocalFile()) {
                const QFileInfo file(url.toLocalFile());
                const QString folder = file.absolutePath();
                auto real = realFolderOf.constFind(folder);
                if (real == realFolderOf.cend())
                    real = realFolderOf.insert(folder, QFileInfo(folder).canonicalFilePath());
                if (!real->isEmpty())
                    return *real + u'/' + file.fileName();
            }
            return url.toString(QUrl::FullyEncoded);  // (no path starts as a URL does)
        };
        QHash<QString, qint64> entryOf;
        for (qint64 i = listed.size() - 1; i >= 0; --i)
            entryOf.insert(fileKey(listed[i]), i);  // the first entry of a file listed twice
        added.clear();
        for (const QUrl& url : urls) {
            const QString key = fileKey(url);
            auto entry = entryOf.constFind(key);
            if (entry == entryOf.cend()) {
                entry = entryOf.insert(key, listed.size() + added.size());
                added << url;
            }
            if (opened.contains(*entry))
                continue;  // given twice
            opened << *entry;
            if (*entry < listed.size())
                alreadyListed << url.fileName();
        }
    }
    if (!added.isEmpty() || !m_state.playlists().contains(name)) {
        m_state.editPlaylists([&](Playlists& playlists) {
            if (!playlists.contains(name))
                playlists.insert(name, TrackList());
            playlists.find(name)->append(added);
        });
    }
    makeCurrent(name);
    setRowOpen(name, true);
    if (!added.isEmpty())
        savePlaylists();

    AudioPlayer& player = m_state.audioPlayer();
    switch (playback) {
    case AddedPlayback::FirstTrackIfNothingLoaded:
        if (!player.player() && !player.playlist().isEmpty())
            player.playTrack(0);
        break;
    case AddedPlayback::FirstOpened:
        // The first of them that plays, in the order given: one that cannot
        // (a download cut short, notes named .mp3) must not leave nothing
        // playing.
        Transport::playFirstLoadableOf(m_state, opened);
        break;
    case AddedPlayback::None:
    case AddedPlayback::OpenedAsQuitting:
        break;
    }

    if (!alreadyListed.isEmpty())
        Log::line(QStringLiteral("Already in ") + name + QStringLiteral(": ") + Log::formatNameList(alreadyListed));
    if (added.isEmpty() && opensFromOutside)
        return 0;
    QStringList fileNames;
    fileNames.reserve(added.size());
    for (const QUrl& url : added)
        fileNames << url.fileName();
    Log::line(QStringLiteral("Added files to ") + name + QStringLiteral(": ") + Log::formatNameList(fileNames));
    return added.size();
}
