#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

// The per-user defaults store: a settings file in the user's config dir
// (or wherever a test points it), holding byte values and doubles by key.
// A file that does not read back whole (damaged on disk) is copied aside
// before anything is written to it, since a write keeps only what was read.
class DefaultsStore {
public:
    // A copy of the settings file as it is on disk, kept beside it.
    struct FileCopy {
        QString path;          // "<file>.unreadable-<n>"
        bool written = false;  // the copy is on disk (made now, or found from earlier)
        QString error;         // why it is not
    };

    explicit DefaultsStore(const QString& filePath);
    ~DefaultsStore();
    DefaultsStore(const DefaultsStore&) = delete;
    DefaultsStore& operator=(const DefaultsStore&) = delete;

    // ~/.config/Rivetone/Rivetone.ini, following XDG_CONFIG_HOME.
    static QString standardFilePath();

    QString filePath() const;

    // The byte value under key; none when the key is absent or holds another type.
    std::optional<QByteArray> data(const QString& key) const;
    // The number under key; 0 when the key is absent or is not a finite number.
    double doubleValue(const QString& key) const;
    bool contains(const QString& key) const;
    // Whatever is stored under key, of any type; invalid when absent.
    QVariant value(const QString& key) const;

    // Each store is written through to disk at once. On failure (read-only
    // file or directory, a directory in the file's place, full disk) returns
    // false and sets error to the reason. The value stays in memory either way
    // and goes to disk with the next write that succeeds; except while a
    // damaged file cannot be copied aside, when nothing is stored at all.
    bool setData(const QString& key, const QByteArray& value, QString* error = nullptr);
    bool setDouble(const QString& key, double value, QString* error = nullptr);
    bool setValue(const QString& key, const QVariant& value, QString* error = nullptr);

    // Copies the file as it is now to "<file>.unreadable-1", or the next free
    // number; a copy with the same content made earlier is kept instead.
    // Until a copy succeeds, writes fail rather than replace the file.
    FileCopy keepCopyOfFile();

private:
    bool copyOwedFileAside(QString* error);
    bool flush(QString* error);
    QString describeWriteFailure() const;

    std::unique_ptr<QSettings> m_settings;
    bool m_copyOwed = false;  // the file must be copied aside before the next write
};
