#pragma once

#include "base/LeavableThread.h"
#include "library/AudioFiles.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

// Looks through files and folders for audio on a thread of its own, so that a
// folder of thousands of files, or one on a slow disk, never holds up the
// window.
//
// Lives on the main thread, and its signals come on the main thread, emitted
// by a timer that runs only while a look is under way. The worker never
// touches a QObject: it leaves its count in an atomic and its result under a
// mutex.
class AudioFileScan : public QObject {
    Q_OBJECT

public:
    explicit AudioFileScan(QObject* parent = nullptr);
    // Stops a look under way, as cancel() does.
    ~AudioFileScan() override;
    AudioFileScan(const AudioFileScan&) = delete;
    AudioFileScan& operator=(const AudioFileScan&) = delete;

    // Starts looking through absolute paths (see AudioFiles::collect),
    // dropping a look still under way (no signal comes for that one). The
    // audio at paths that are not UTF-8 is counted in what it finds.
    void start(const QStringList& absolutePaths, const QList<QByteArray>& pathsNotInUtf8 = {});
    // Drops the look under way, if any; no signal comes for it. A worker
    // that does not stop at once (a folder on a share that stopped
    // answering) is let go to end by itself.
    void cancel();
    bool isScanning() const { return m_thread.running(); }
    // Waits until the deadline for the look under way to end, and then
    // gives its result (finished comes before this returns). False when none
    // is under way, or it was not over by then (it goes on).
    bool waitForFinished(std::chrono::steady_clock::time_point deadline);

    // Test hook: from the next start, the worker waits this long at every
    // entry, as it would on a slow disk.
    void setEntryDelayForTesting(std::chrono::microseconds delay) { m_entryDelay = delay; }

signals:
    // Audio files found so far, now and then while looking.
    void progressed(int filesFound);
    void finished(const AudioFiles::Found& found);

private:
    void poll();

    // What the worker shares with the main thread: its own, so that a
    // worker let go never touches the scan.
    struct Job {
        // Set by the main thread, read by the worker after every entry.
        std::atomic<bool> stop{false};
        // Written by the worker, read by the main thread's poll.
        std::atomic<int> filesFound{0};
        std::mutex mutex;
        std::optional<AudioFiles::Found> outcome;  // guarded by mutex; the worker's last word
    };

    // Main thread only.
    QTimer m_poll;
    int m_reportedCount = -1;
    std::chrono::microseconds m_entryDelay{0};
    std::shared_ptr<Job> m_job;
    LeavableThread m_thread;
};
