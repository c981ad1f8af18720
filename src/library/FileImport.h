#pragma once

#include "library/AudioFileScan.h"
#include "library/PlaylistLibrary.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

class ContentState;

// Files and folders that come from outside the Add Files dialog (dropped on
// the window, given on the command line): their folders are looked through in
// the background, then all the audio found is added in one step, as Add Files
// adds, with one save and one line. Requests that come while one is under way
// wait their turn. Main thread only.
class FileImport : public QObject {
    Q_OBJECT

public:
    struct Request {
        QStringList paths;  // absolute, in the order given
        // The playlist they go to. None, or one deleted by the end of the
        // look: the one that is current when the look is over, or, when the
        // library has none, a new one named after their folder
        // (AudioFiles::Found::namingFolder).
        std::optional<QString> playlist;
        PlaylistLibrary::AddedPlayback playback = PlaylistLibrary::AddedPlayback::FirstTrackIfNothingLoaded;
        QList<QByteArray> pathsNotInUtf8 = {};  // given too, but only their audio is counted (see NamesNotInUtf8.h)
    };

    struct Outcome {
        QString playlist;  // where they went (or were, all listed already); empty when none was audio
        int added = 0;
        int alreadyListed = 0;  // opened, but in the playlist already (not added again)
        int skipped = 0;  // files that are not audio this player takes
        int namesNotInUtf8 = 0;  // audio files out of reach: a name on their path is not UTF-8
        int unreadableFolders = 0;  // folders that could not be opened
        int givenNotAudio = 0;  // of the files skipped, those given themselves (a cover.jpg in a folder goes unmentioned)
    };

    FileImport(ContentState& state, PlaylistLibrary& library, QObject* parent = nullptr);

    void add(Request request);
    // A look under way or waiting.
    bool isBusy() const { return m_running.has_value(); }
    // At quit: the look under way and those waiting are finished here and
    // their files added, as far as the deadline allows. (Another start was
    // told its files were taken.) False when some were left.
    bool finishBy(std::chrono::steady_clock::time_point deadline);
    AudioFileScan& scan() { return m_scan; }

signals:
    // While looking: the audio files found so far for the request under way.
    void progressed(int filesFound);
    // One per request, after its files were added (or none were found).
    void finished(const FileImport::Outcome& outcome);

private:
    void startNext();
    void addFound(const AudioFiles::Found& found);

    ContentState& m_state;
    PlaylistLibrary& m_library;
    AudioFileScan m_scan;
    std::optional<Request> m_running;
    std::deque<Request> m_waiting;
};
