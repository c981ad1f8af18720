#pragma once

#include <QString>
#include <QVariant>

class DefaultsStore;

// Keeps a stored value that could not be read under a key of its own, so that
// no later write destroys it: "<group>/1", or the next free number when
// earlier copies exist. An identical value kept before is not copied again.
struct ValueBackup {
    QString key;            // where the value is kept
    bool written = false;   // kept: in memory and in every file written from now on
    QString error;          // why it is not
    QString fileCopy;       // where the settings file as it was is kept too; empty when it was not copied

    // readFrom: the key the value was read under. When the file gave it (this
    // run has not stored that key), the file is first copied aside as it is,
    // where that can be done: the reading of a hand edit can lose what the
    // text held (bare quotes and commas read as a list), so the value kept
    // may not be what was written.
    static ValueBackup keep(DefaultsStore& store, const QString& group, const QVariant& value,
                            const QString& readFrom = {});

    // What a log line adds about the file's copy: nothing when none was made.
    static QString fileCopyNote(const ValueBackup& backup);

    // A value stored as a type this program cannot hold (a later version's)
    // cannot be copied under a key of its own, so the whole settings file is
    // copied aside, and nothing is written over it until the copy is made.
    // Returns what the log line adds about where the value is.
    static QString keepWholeFile(DefaultsStore& store);
};
