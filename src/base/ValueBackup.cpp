#include "base/ValueBackup.h"

#include "base/DefaultsStore.h"

#include <QFileInfo>

ValueBackup ValueBackup::keep(DefaultsStore& store, const QString& group, const QVariant& value,
                              const QString& readFrom)
{
    ValueBackup backup;
    for (int number = 1;; ++number) {
        backup.key = group + u'/' + QString::number(number);
        const QVariant existing = store.value(backup.key);
        if (!existing.isValid())
            break;
        if (existing == value) {
            // Already kept by an earlier start that met the same value.
            backup.written = true;
            return backup;
        }
    }
    // Before the value's own store, which writes the file over. A file that
    // is not there (or not a file) holds nothing to lose.
    if (!readFrom.isEmpty() && !store.storedThisRun(readFrom) && QFileInfo(store.filePath()).isFile()) {
        // Best done, not owed: the value itself is kept in the file all the same.
        const DefaultsStore::FileCopy copy = store.copyFileAside();
        if (copy.written)
            backup.fileCopy = copy.path;
    }
    const DefaultsStore::Ticket ticket = store.setValue(backup.key, value);
    // In memory now, it is in every file written from here on; a write that
    // fails leaves the old file, which still holds the value, in place.
    backup.written = !ticket.refused;
    backup.error = ticket.error;
    return backup;
}

QString ValueBackup::fileCopyNote(const ValueBackup& backup)
{
    return backup.fileCopy.isEmpty() ? QString()
                                     : QStringLiteral(", and the settings file as it was as %1").arg(backup.fileCopy);
}

QString ValueBackup::keepWholeFile(DefaultsStore& store)
{
    const DefaultsStore::FileCopy copy = store.keepCopyOfFile();
    return copy.written
        ? QStringLiteral("; the settings file as it was is kept as %1").arg(copy.path)
        : QStringLiteral("; a copy of the settings file cannot be made (%1), so nothing is written to it until one can")
              .arg(copy.error);
}
