#pragma once

#include "engine/LoudnessScan.h"

#include <QString>

#include <optional>

// Envelopes of mapped files kept on disk, so that a track is decoded for its
// phrase map once. One entry per audio file, named by a hash of its path and
// holding the file's size and modification time: an entry whose file has
// changed since is not used, and the new envelope replaces it. An entry that
// cannot be read whole (cut short, damaged, of another format version) is
// ignored the same way. Entries are written to a temporary file and renamed,
// so a crash or a second writer never leaves half an entry. The folder is
// kept to a size: past it, the entries used least recently go (each load
// counts as a use; the entry of a file moved or deleted is not used again).
//
// Any thread; two threads may share a directory (the last writer wins).
class PhraseMapCache {
public:
    // Which version of a file an entry was made from.
    struct FileIdentity {
        QString path;                // absolute
        qint64 sizeBytes = -1;
        qint64 modifiedMilliseconds = 0;  // since the epoch
        // A file put in place of another with the same size and time (a
        // copy that keeps times, an archive unpacked) is still told apart:
        // nothing sets the change time back. (Not the inode number: FAT,
        // exFAT and many FUSE mounts make one up anew at each mount.)
        qint64 changedNanoseconds = 0;  // since the epoch

        bool operator==(const FileIdentity&) const = default;
    };

    // Some 170 hour-long lessons (1.5 MB of levels each).
    static constexpr qint64 defaultMostBytesKept = 256LL << 20;

    explicit PhraseMapCache(QString directory, qint64 mostBytesKept = defaultMostBytesKept);
    // The user's cache folder for phrase maps.
    static QString defaultDirectory();

    // The file as it is now; sizeBytes is -1 when it cannot be read.
    static FileIdentity identify(const QString& audioPath);
    std::optional<LoudnessEnvelope> load(const FileIdentity& file) const;
    // False when the entry could not be written (error says why).
    bool store(const FileIdentity& file, const LoudnessEnvelope& envelope, QString* error) const;
    // Where the entry of an audio file lives.
    QString entryPath(const QString& audioPath) const;

private:
    void trim(const QString& keptEntryPath) const;

    QString m_directory;
    qint64 m_mostBytesKept;
};
