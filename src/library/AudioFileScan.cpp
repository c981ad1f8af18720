#include "library/AudioFileScan.h"

#include <thread>

namespace {

// Often enough for a count that moves smoothly, seldom enough to cost nothing.
constexpr int pollMilliseconds = 30;

}  // namespace

AudioFileScan::AudioFileScan(QObject* parent)
    : QObject(parent)
{
    m_poll.setInterval(pollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &AudioFileScan::poll);
}

AudioFileScan::~AudioFileScan()
{
    cancel();
}

void AudioFileScan::start(const QStringList& absolutePaths, const QList<QByteArray>& pathsNotInUtf8)
{
    cancel();
    m_reportedCount = -1;
    m_job = std::make_shared<Job>();
    // The MIME database and the user's locale are read here: the worker
    // only compares names, with copies.
    const AudioFiles::NameFilter filter;
    const QLocale locale = AudioFiles::collationLocale();
    m_thread = LeavableThread("AudioFileScan", "rivetone scan", [job = m_job, paths = absolutePaths,
                                                                rawPaths = pathsNotInUtf8, filter, locale,
                                                                delay = m_entryDelay] {
        const auto keepGoing = [&job, delay](int filesFound) {
            job->filesFound.store(filesFound, std::memory_order_relaxed);
            if (delay.count() > 0)
                std::this_thread::sleep_for(delay);
            return !job->stop.load(std::memory_order_relaxed);
        };
        AudioFiles::Found found = AudioFiles::collect(paths, filter, keepGoing, locale, rawPaths);
        if (job->stop)
            return;
        const std::lock_guard lock(job->mutex);
        job->outcome = std::move(found);
    });
    m_poll.start();
}

void AudioFileScan::cancel()
{
    m_poll.stop();
    if (m_thread.running()) {
        m_job->stop = true;
        m_thread.endOrLetGo();  // let go, it holds its job; a result it leaves there is dropped
    }
    m_job.reset();  // a result not yet polled for is dropped; no worker of ours runs now
}

bool AudioFileScan::waitForFinished(std::chrono::steady_clock::time_point deadline)
{
    if (!m_thread.running())
        return false;  // none under way (or cancelled): nothing will come
    for (;;) {
        {
            const std::lock_guard lock(m_job->mutex);
            if (m_job->outcome)
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    poll();
    return true;
}

void AudioFileScan::poll()
{
    std::optional<AudioFiles::Found> outcome;
    {
        const std::lock_guard lock(m_job->mutex);
        outcome.swap(m_job->outcome);
    }
    if (!outcome) {
        const int count = m_job->filesFound.load(std::memory_order_relaxed);
        if (count != m_reportedCount) {
            m_reportedCount = count;
            emit progressed(count);
        }
        return;
    }
    m_poll.stop();
    m_thread.join();  // it has said its last word
    // A receiver may start the next look from this signal.
    emit finished(*outcome);
}
