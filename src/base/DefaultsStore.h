#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The per-user defaults store: a settings file in the user's config dir (or
// wherever a test points it), holding byte values and doubles by key.
//
// Values live in memory: reads are instant, and a store changes the value at
// once. Every store then writes the whole file on a writer thread of its own,
// checked end to end: into a temporary file beside it, read back and compared
// with what was meant, flushed to the disk, and only then renamed over the
// file. A write that fails (full disk, read-only folder) leaves the file as it
// was and the value in memory, to go to disk with the next write that works.
// Writes never hold up the caller; the latest values win (writes asked for
// while one runs are done as one), and the last one is finished before the
// store goes.
//
// A file that does not read back whole (damaged on disk) is copied aside
// before anything is written, since a write keeps only what was read.
//
// Another program may change the file while this one runs (a hand edit, a
// sync of a dotfiles folder): a write then keeps its values for every key
// this run has not stored. Where it changed one this run stores too, this
// run's value is written, and the file as it was is first copied aside.
class DefaultsStore : public QObject {
    Q_OBJECT

public:
    // A copy of the settings file as it is on disk, kept beside it.
    struct FileCopy {
        QString path;          // "<file>.unreadable-<n>"
        bool written = false;  // the copy is on disk (made now, or found from earlier)
        QString error;         // why it is not
    };

    // How a write ended.
    struct Outcome {
        bool ok = false;
        QString error;  // why not
    };

    // A store's write: its number, or refused (nothing was stored at all).
    struct Ticket {
        quint64 number = 0;
        bool refused = false;
        QString error;  // why it was refused
    };

    explicit DefaultsStore(const QString& filePath, QObject* parent = nullptr);
    ~DefaultsStore() override;  // finishes the writes asked for

    // ~/.config/Rivetone/Rivetone.ini, following XDG_CONFIG_HOME.
    static QString standardFilePath();
    // The file a settings file's writes go to: the file itself, or, through
    // a symbolic link, the file it leads to (made or not).
    static QString pathWrittenFor(const QString& filePath);

    QString filePath() const { return m_filePath; }

    // The byte value under key; none when the key is absent or holds another type.
    std::optional<QByteArray> data(const QString& key) const;
    // The number under key; 0 when the key is absent or is not a finite number.
    double doubleValue(const QString& key) const;
    bool contains(const QString& key) const;
    // Whatever is stored under key, of any type; invalid when absent.
    QVariant value(const QString& key) const;
    // Whether this run has stored a value under key (else it is the file's, if any).
    bool storedThisRun(const QString& key) const { return m_storedKeys.contains(key); }

    // Each store changes the value in memory and asks for the file to be
    // written. Refused (nothing stored, not even in memory) only while a
    // damaged file cannot be copied aside.
    Ticket setData(const QString& key, const QByteArray& value);
    Ticket setDouble(const QString& key, double value);
    Ticket setValue(const QString& key, const QVariant& value);
    // A byte value too large to make without holding up the window: make()
    // runs on the writer thread, and the value in memory follows once it has.
    Ticket setDataMadeBy(const QString& key, std::function<QByteArray()> make);

    // The outcome of a write, waiting for it up to timeout; none if it is not
    // over by then.
    std::optional<Outcome> outcome(const Ticket& ticket, std::chrono::milliseconds timeout = {});
    // Runs done with the outcome on this object's thread once the write is
    // over (at once when it is); not when context goes first.
    void whenWritten(const Ticket& ticket, QObject* context, std::function<void(const Outcome&)> done);
    // Blocks until every write asked for so far is over, and runs what
    // waited for them (whenWritten) whose context is still there.
    void finishWrites();

    // Copies the file as it is now to "<file>.unreadable-1" beside the file
    // the writes go to (where a link leads), or the next free number; a copy
    // with the same content made earlier is kept instead. Until a copy
    // succeeds, stores are refused rather than replace the file.
    FileCopy keepCopyOfFile();
    // The same copy, for a file that reads whole: one that cannot be made
    // holds up no store.
    FileCopy copyFileAside() const;

    // Why the latest write that finished failed; empty when it went to disk
    // (or none finished yet). Main thread.
    QString lastWriteError() const { return m_lastWriteError; }

    // Test hook: the temporary file of the writes from now on loses all but
    // this many bytes before it is checked, as a disk that silently took only
    // part of it would leave it (size and time as written). Negative: none lost.
    void cutWritesForTesting(qint64 bytes);

signals:
    // Main thread, when writes start failing (with why), when the reason
    // changes, and when one goes to disk again (empty).
    void lastWriteErrorChanged(const QString& error);

private:
    struct Job {
        quint64 number = 0;
        QMap<QString, QVariant> values;  // the writer's own copy, shared with nothing
        QMap<QString, std::function<QByteArray()>> makers;  // keys whose value is made on the writer thread
        QMap<QString, quint64> madeEarlier;  // keys an earlier job makes: the number of the store that asked
        QSet<QString> storedKeys;  // keys this run has stored: for these, its values win over the file's
    };

    // Tells one version of the file on disk from another.
    struct FileStamp {
        qint64 device = 0;
        qint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    // None when no file is there (a directory is none).
    static std::optional<FileStamp> stampOf(const QString& path);

    Ticket request(const QString& key, std::optional<QVariant> value, std::function<QByteArray()> make);
    bool writesAllowed(QString* error);
    bool copyOwedFileAside(QString* error);
    QString pathWrittenTo() const;
    void removeLeftoverWrites() const;
    void writerLoop();
    QMap<QString, QVariant> withChangesOnDisk(const Job& job);
    // written: the stamp the file has once it is in place.
    Outcome writeFile(const QMap<QString, QVariant>& values, std::optional<FileStamp>* written);
    QString describeWriteFailure(const QString& what) const;
    void noteMade(quint64 number, const QString& key, const QByteArray& value);
    void applyMade();

    struct Made {
        quint64 number = 0;
        QString key;
        QByteArray bytes;
    };
    std::optional<Outcome> finishedOutcome(quint64 number) const;
    Q_INVOKABLE void runWaiters();

    struct Waiter {
        quint64 number = 0;
        QPointer<QObject> context;
        std::function<void(const Outcome&)> done;
    };

    const QString m_filePath;
    // Main thread only.
    QMap<QString, QVariant> m_values;
    QMap<QString, quint64> m_madeAt;  // keys made on the writer thread, by the write that asked
    QSet<QString> m_storedKeys;       // every key stored by this run
    bool m_copyOwed = false;          // the file must be copied aside before the next store
    QString m_unopenedBecause;        // why the file there could not be read at start; then nothing is written
    QMap<QString, std::function<QByteArray()>> m_refusedMakers;  // stores to make once the copy exists
    quint64 m_lastNumber = 0;
    std::vector<Waiter> m_waiters;    // main thread only
    QString m_lastWriteError;         // main thread only
    quint64 m_writeErrorSince = 0;    // main thread only: the last store before a refused one

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;      // for the writer: a job, or stop
    std::condition_variable m_finished;  // for waiters: a write is over
    std::optional<Job> m_pending;        // guarded by m_mutex: the latest job not started
    quint64 m_finishedThrough = 0;       // guarded by m_mutex
    std::deque<std::pair<quint64, Outcome>> m_outcomes;  // guarded by m_mutex: last number of each finished write
    bool m_stopping = false;             // guarded by m_mutex
    std::vector<Made> m_made;            // guarded by m_mutex: made, not yet in memory
    qint64 m_cutWritesTo = -1;           // guarded by m_mutex
    std::thread m_writer;                // started with the first write
    QMap<QString, Made> m_madeOnWriter;  // writer thread only: the last value made under each key
    // Writer thread only (set before it starts): the file as this run last
    // read or wrote it, to tell another program's changes from its own.
    std::optional<FileStamp> m_stampOnDisk;
    QMap<QString, QVariant> m_onDisk;
};
