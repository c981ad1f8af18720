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

    static ValueBackup keep(DefaultsStore& store, const QString& group, const QVariant& value);

    // A value stored as a type this program cannot hold (a later version's)
    // cannot be copied under a key of its own, so the whole settings file is
    // copied aside, and nothing is written over it until the copy is made.
    // Returns what the log line adds about where the value is.
    static QString keepWholeFile(DefaultsStore& store);
};
