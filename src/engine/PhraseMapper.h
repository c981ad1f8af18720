#pragma once

#include "base/LeavableThread.h"
#include "engine/PhraseFinder.h"
#include "engine/PhraseMap.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

// Makes the phrase map of one file at a time in the background: takes the
// envelope from the cache when the file has not changed since it was last
// mapped, else decodes the whole file on a thread of its own (never the
// player's decoder or audio thread) and caches what it measured.
//
// Lives on the main thread, and its signals come on the main thread. They are
// emitted by a timer that runs only while a map is being made, from state the
// worker leaves under a mutex and an atomic: the worker never touches a
// QObject, so nothing crosses threads through Qt's event queue, whose locks
// ThreadSanitizer cannot see into (Qt is not built with it).
class PhraseMapper : public QObject {
    Q_OBJECT

public:
    // Maps cached in PhraseMapCache::defaultDirectory().
    explicit PhraseMapper(QObject* parent = nullptr);
    PhraseMapper(const QString& cacheDirectory, const PhraseFinder::Settings& settings, QObject* parent = nullptr);
    // Stops a map being made, as cancel() does.
    ~PhraseMapper() override;
    PhraseMapper(const PhraseMapper&) = delete;
    PhraseMapper& operator=(const PhraseMapper&) = delete;

    // Starts mapping the file at a local path, dropping a map still being
    // made (no signal comes for that one). Returns at once but for stopping
    // that one: its worker sees the stop after its current read of some 0.2 s
    // of audio.
    void map(const QString& path);
    // Drops the map being made, if any; no signal comes for it. A worker
    // that does not stop at once (its read hangs) is let go to end by itself.
    void cancel();
    bool isMapping() const { return m_thread.running(); }
    // The file being mapped, or the last one.
    QString path() const { return m_path; }

signals:
    // The share of the file done, 0...1, now and then while it decodes.
    void progressed(const QString& path, double fractionDone);
    void mapped(const QString& path, const PhraseMap& map);
    void failed(const QString& path, const QString& error);

private:
    struct Outcome {
        std::optional<PhraseMap> map;
        QString error;
    };

    // What the worker shares with the main thread: its own, so that a
    // worker let go never touches the mapper.
    struct Job {
        // Set by the main thread, read by the worker between reads.
        std::atomic<bool> stop{false};
        // Written by the worker, read by the main thread's poll.
        std::atomic<double> fractionDone{0};
        std::mutex mutex;
        std::optional<Outcome> outcome;  // guarded by mutex; the worker's last word
    };

    static void work(Job& job, const QString& path, const QString& cacheDirectory,
                     const PhraseFinder::Settings& settings);
    void poll();

    const QString m_cacheDirectory;
    const PhraseFinder::Settings m_settings;

    // Main thread only.
    QString m_path;
    QTimer m_poll;
    double m_reportedFraction = -1;
    std::shared_ptr<Job> m_job;
    LeavableThread m_thread;
};
