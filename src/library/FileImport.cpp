#include "library/FileImport.h"

#include "base/Log.h"
#include "state/ContentState.h"

#include <QUrl>

FileImport::FileImport(ContentState& state, PlaylistLibrary& library, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_library(library)
{
    connect(&m_scan, &AudioFileScan::progressed, this, &FileImport::progressed);
    connect(&m_scan, &AudioFileScan::finished, this, &FileImport::addFound);
}

void FileImport::add(Request request)
{
    m_waiting.push_back(std::move(request));
    if (!m_running)
        startNext();
}

bool FileImport::finishBy(std::chrono::steady_clock::time_point deadline)
{
    // Added, but nothing starts playing on the way out; files opened from
    // outside are still not listed twice.
    const auto quietly = [](PlaylistLibrary::AddedPlayback playback) {
        return playback == PlaylistLibrary::AddedPlayback::FirstOpened ? PlaylistLibrary::AddedPlayback::OpenedAsQuitting
                                                                       : PlaylistLibrary::AddedPlayback::None;
    };
    if (m_running)
        m_running->playback = quietly(m_running->playback);
    for (Request& waiting : m_waiting)
        waiting.playback = quietly(waiting.playback);
    // Each result adds its files and starts the next look.
    while (m_running)
        if (!m_scan.waitForFinished(deadline))
            return false;
    return true;
}

void FileImport::startNext()
{
    m_running.reset();
    if (m_waiting.empty())
        return;
    m_running = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_scan.start(m_running->paths, m_running->pathsNotInUtf8);
}

void FileImport::addFound(const AudioFiles::Found& found)
{
    const Request request = std::move(*m_running);
    Outcome outcome;
    outcome.skipped = found.skipped;
    outcome.givenNotAudio = int(found.givenNotAudio.size());
    if (!found.givenNotAudio.isEmpty())
        Log::line(QStringLiteral("Left out, not MP3 or MPEG-4 audio: ") + Log::formatNameList(found.givenNotAudio));
    outcome.namesNotInUtf8 = found.namesNotInUtf8;
    QStringList given = request.paths;
    for (const QByteArray& path : request.pathsNotInUtf8)
        given << QString::fromUtf8(path);  // shown with its odd bytes replaced
    if (found.namesNotInUtf8 > 0) {
        Log::line(QStringLiteral("Audio files left out, their names not UTF-8: %1 in %2")
                      .arg(QString::number(found.namesNotInUtf8), Log::formatNameList(given)));
    }
    outcome.unreadableFolders = int(found.unreadableFolders.size());
    // A share that refuses thousands would make a line of megabytes: the
    // first few, and how many more.
    constexpr qsizetype foldersNamed = 10;
    if (!found.unreadableFolders.isEmpty()) {
        const qsizetype more = found.unreadableFolders.size() - foldersNamed;
        Log::line(QStringLiteral("Folders that could not be read: ")
                  + Log::formatNameList(found.unreadableFolders.mid(0, foldersNamed))
                  + (more > 0 ? QStringLiteral(" and %1 more").arg(more) : QString()));
    }
    if (found.files.isEmpty()) {
        // Audio left out for its names was there: the line above says so.
        if (found.namesNotInUtf8 == 0)
            Log::line(QStringLiteral("No MP3 or MPEG-4 audio to add in: ") + Log::formatNameList(given));
    } else {
        // Decided now, not when asked: the current playlist may have changed
        // meanwhile, as it may while the Add Files dialog is open.
        // A row dropped on and deleted during the look is not made again:
        // the files go where a drop on the window sends them.
        QString name;
        if (request.playlist && m_state.playlists().contains(*request.playlist))
            name = *request.playlist;
        else if (m_state.playlists().isEmpty())
            name = AudioFiles::playlistNameFor(found.namingFolder);
        else
            name = m_state.currentPlaylist();
        QList<QUrl> urls;
        urls.reserve(found.files.size());
        for (const QString& path : found.files)
            urls << QUrl::fromLocalFile(path);
        outcome.added = int(m_library.addFilesTo(name, urls, request.playback));
        outcome.alreadyListed = int(urls.size()) - outcome.added;
        outcome.playlist = m_state.playlists().storedName(name);
    }
    startNext();
    emit finished(outcome);
}
