#include "library/AudioFileScan.h"

#include "base/Threads.h"

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
    m_stop = false;
    m_filesFound = 0;
    m_reportedCount = -1;
    // The MIME database and the user's locale are read here: the worker
    // only compares names, with copies.
    const AudioFiles::NameFilter filter;
    const QLocale locale = AudioFiles::collationLocale();
    m_thread = startThread("AudioFileScan", "rivetone scan", [this, paths = absolutePaths, rawPaths = pathsNotInUtf8, filter,
                                                              locale, delay = m_entryDelay] {
        const auto keepGoing = [this, delay](int filesFound) {
            m_filesFound.store(filesFound, std::memory_order_relaxed);
            if (delay.count() > 0)
                std::this_thread::sleep_for(delay);
            return !m_stop.load(std::memory_order_relaxed);
        };
        AudioFiles::Found found = AudioFiles::collect(paths, filter, keepGoing, locale, rawPaths);
        if (m_stop)
            return;
        const std::lock_guard lock(m_mutex);
        m_outcome = std::move(found);
    });
    m_poll.start();
}

void AudioFileScan::cancel()
{
    m_poll.stop();
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
    m_outcome.reset();  // a result not yet polled for is dropped; no worker runs now
}

bool AudioFileScan::waitForFinished(std::chrono::steady_clock::time_point deadline)
{
    if (!m_thread.joinable())
        return false;  // none under way (or cancelled): nothing will come
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_outcome)
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
        const std::lock_guard lock(m_mutex);
        outcome.swap(m_outcome);
    }
    if (!outcome) {
        const int count = m_filesFound.load(std::memory_order_relaxed);
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
