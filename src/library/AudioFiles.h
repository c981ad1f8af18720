#pragma once

#include <QByteArray>
#include <QCollator>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// Which files are audio this player takes (MP3 and MPEG-4 audio), told by
// name the way the Add Files dialog's filter tells them, and the order files
// found in folders are added in.
namespace AudioFiles {

// "audio/mpeg" and "audio/mp4", in the order the Add Files dialog offers them.
QStringList mimeTypeNames();

// The file-name patterns of a type and of its specialisations ("*.m4b":
// audiobooks are a kind of MPEG-4 audio with a type of their own), from the
// system's MIME database.
QStringList namePatterns(const QString& mimeTypeName);

// Tells the files to take by their names, case-insensitively, as the dialog's
// filter does: content is not looked at, so a file is taken or left the same
// way whether it is dropped, given on the command line or chosen in the
// dialog. A plain value: made on one thread, it can be copied to another.
class NameFilter {
public:
    // The patterns of all of mimeTypeNames().
    NameFilter();
    explicit NameFilter(const QStringList& patterns);

    bool accepts(const QString& fileName) const;

private:
    QStringList m_suffixes;       // ".mp3": patterns of the "*.ext" form, lower case
    QStringList m_otherPatterns;  // any other wildcard pattern
};

// The locale whose collation orders file names: the user's, or English where
// that is the C locale (which would sort digits as text). Read it on the main
// thread and hand a copy to a worker.
QLocale collationLocale();

// The order a person expects in a file manager: path component by component,
// numbers by their value ("Lesson 2" before "Lesson 10", "Unit 2/…" before
// "Unit 10/…"), letters as the locale sorts them, a name before the longer
// ones it begins ("Lesson 1.mp3" before "Lesson 1-2.mp3"). Paths that collate the same
// fall back to plain text order, so the order is total. Not to be shared
// between threads: make one per thread.
class NaturalPathOrder {
public:
    explicit NaturalPathOrder(const QLocale& locale = collationLocale());
    bool operator()(const QString& a, const QString& b) const;
    int compareComponents(const QStringList& a, const QStringList& b) const;

private:
    // isFile: the name is its path's last, a file's.
    int compareNames(const QString& a, bool aIsFile, const QString& b, bool bIsFile) const;

    QCollator m_collator;
};

void sortNaturally(QStringList& paths, const QLocale& locale = collationLocale());

// The path a file URL names on this machine: one with no host, with
// "localhost" or with this machine's own name. Another machine's file is none of ours (Qt would make
// file://server/x //server/x, which this machine reads as /server/x); other
// schemes, and a URL with no path, name no file here either.
std::optional<QString> localPathOf(QUrl url);
// The path such a URL names as the bytes it holds, when they are not UTF-8 (a
// name from an older system, percent-encoded byte for byte): no text path
// can hold it, and localPathOf gives one mangled past finding. None otherwise.
std::optional<QByteArray> localPathNotInUtf8(const QUrl& url);

// What a look through some files and folders found.
struct Found {
    QStringList files;  // absolute paths, in natural order, each once
    int skipped = 0;    // regular files that are not audio this player takes
    QStringList givenNotAudio;  // the names of those given themselves (not found in a folder)
    // Audio files left out because a name on their path is not UTF-8, which
    // this program's paths cannot hold (see NamesNotInUtf8.h).
    int namesNotInUtf8 = 0;
    // Folders that could not be opened, so what they hold is unknown.
    QStringList unreadableFolders;
    // The folder a new playlist for these files is named after: the first
    // folder given that holds audio, else the folder of the first audio file
    // given. Empty when no audio file was found.
    QString namingFolder;
};

// The audio files of the given absolute paths, all in natural order of
// their paths (whatever order the paths were given in): a file stands for itself, a folder for the files in it and in its sub-folders.
// Hidden files and folders inside a folder are left out, and links to folders
// are not followed (a link may lead back up the tree); a link to a file counts
// as that file, and a file met more than once, itself or through links, is
// found once, by its own path when that is met. Paths that do not exist are
// passed over.
//
// keepGoing is asked after every entry looked at, with the count of audio
// files found so far; when it says no, the look stops and what was found so
// far is returned.
//
// Paths given as bytes that are not UTF-8 are only counted, with the audio
// that names of that kind keep out of reach in the folders looked through
// (see NamesNotInUtf8.h).
Found collect(const QStringList& absolutePaths, const NameFilter& filter,
              const std::function<bool(int filesFound)>& keepGoing = {},
              const QLocale& locale = collationLocale(), const QList<QByteArray>& pathsNotInUtf8 = {});

// The name of a playlist made for files from this folder: its own name
// without spaces at either end, or the whole path for the root (or a name of
// spaces alone).
QString playlistNameFor(const QString& folder);

}  // namespace AudioFiles
