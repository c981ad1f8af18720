#pragma once

#include "library/AudioFiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <QStringList>

#include <dirent.h>
#include <functional>
#include <set>
#include <tuple>
#include <sys/types.h>
#include <utility>

namespace AudioFiles {

bool isUtf8(QByteArrayView bytes);

// A name that is not valid UTF-8 (an archive from an older system, unpacked
// with its names as they were, such as Korean names in CP949) cannot be held
// in this program's paths, and the folder walk passes it by without a word.
// This counts the audio files such names keep out of reach, so the learner
// can be told why they are missing. Each entry counts once, however often
// it is reached (a folder given twice or inside another, a dropped path
// inside a folder dropped with it); two names of one file count twice, as
// the walk would add both. Hidden entries and links to folders are left
// out, as the walk leaves them; a link to a file counts as that file.
class AudioOutOfReach {
public:
    // keepGoing (when given) is asked before each entry looked at that is
    // not passed by at once: false stops the count where it is.
    AudioOutOfReach(const NameFilter& filter, std::function<bool()> keepGoing = {});

    // In the folder itself, each audio file whose own name is not UTF-8,
    // and every one anywhere below a sub-folder whose name is not.
    void lookInFolder(const QString& folder);
    // A path given as bytes that are not UTF-8: every audio file below it,
    // or the file itself. One with a NUL in it names nothing.
    void lookAtPath(const QByteArray& path);

    int files() const { return int(m_files.size()); }
    // Folders looked in that could not be opened (no permission, a share
    // that refuses): the walk passed them by without a word too.
    const QStringList& unreadableFolders() const { return m_unreadableFolders; }
    // Whether the clean absolute path lies below one of them.
    bool liesInUnreadableFolder(const QString& path) const;

    // Tests only: folders of this name cannot be opened, as one without
    // permission cannot (which root, running the tests, could open). Empty
    // turns it off.
    static void refuseFoldersNamedForTesting(const QString& name);

private:
    void countBelow(DIR* folder, int depth, bool onlyNamesNotInUtf8);
    bool goOn();
    // An entry is known by its folder and its name.
    using Entry = std::tuple<dev_t, ino_t, QByteArray>;

    const NameFilter& m_filter;
    std::function<bool()> m_keepGoing;
    bool m_stopped = false;
    std::set<std::pair<dev_t, ino_t>> m_foldersLookedIn;
    std::set<Entry> m_files;
    QStringList m_unreadableFolders;  // in the order met
    QSet<QString> m_unreadableSet;
};

}  // namespace AudioFiles
