#include "engine/PhraseMapper.h"

#include "base/Log.h"
#include "engine/LoudnessScan.h"
#include "engine/PhraseMapCache.h"

namespace {

// How often the main thread looks in on the worker: a progress bar moves
// smoothly, and a map read from the cache shows without a visible wait.
constexpr int pollMilliseconds = 30;

}  // namespace

PhraseMapper::PhraseMapper(QObject* parent)
    : PhraseMapper(PhraseMapCache::defaultDirectory(), PhraseFinder::Settings(), parent)
{
}

PhraseMapper::PhraseMapper(const QString& cacheDirectory, const PhraseFinder::Settings& settings, QObject* parent)
    : QObject(parent)
    , m_cacheDirectory(cacheDirectory)
    , m_settings(settings)
{
    m_poll.setInterval(pollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &PhraseMapper::poll);
}

PhraseMapper::~PhraseMapper()
{
    cancel();
}

void PhraseMapper::map(const QString& path)
{
    cancel();
    m_path = path;
    m_reportedFraction = -1;
    m_job = std::make_shared<Job>();
    m_thread = LeavableThread("PhraseMapper", "rivetone phrase",
                              [job = m_job, path, cacheDirectory = m_cacheDirectory, settings = m_settings] {
                                  work(*job, path, cacheDirectory, settings);
                              });
    m_poll.start();
}

void PhraseMapper::cancel()
{
    m_poll.stop();
    if (m_thread.running()) {
        m_job->stop = true;
        m_thread.endOrLetGo();  // let go, it holds its job; a word it leaves there is dropped
    }
    m_job.reset();  // a word not yet polled for is dropped; no worker of ours runs now
}

// Worker thread.
void PhraseMapper::work(Job& job, const QString& path, const QString& cacheDirectory,
                        const PhraseFinder::Settings& settings)
{
    const PhraseMapCache cache(cacheDirectory);
    // Taken before decoding: a file that changes meanwhile is mapped again
    // next time, as its entry describes the older version.
    const PhraseMapCache::FileIdentity identity = PhraseMapCache::identify(path);
    Outcome outcome;
    std::optional<LoudnessEnvelope> envelope = cache.load(identity);
    if (!envelope) {
        QString readFailure;
        envelope = LoudnessScan::run(
            path,
            [&job](double fractionDone) {
                job.fractionDone.store(fractionDone, std::memory_order_relaxed);
                return !job.stop.load(std::memory_order_relaxed);
            },
            &outcome.error, &readFailure);
        if (job.stop)
            return;
        // A read that failed partway maps what came before it, for now; kept,
        // that part would stand for the whole file until the file changed.
        QString error = readFailure;
        if (envelope && (!readFailure.isEmpty() || !cache.store(identity, *envelope, &error)))
            Log::line(QStringLiteral("Phrase map of %1 not cached: %2").arg(path, error));
    }
    if (envelope) {
        std::vector<Phrase> phrases = PhraseFinder(settings).find(envelope->levelsDecibels, envelope->durationSeconds);
        outcome.map = PhraseMap(std::move(envelope->levelsDecibels), envelope->durationSeconds, std::move(phrases));
    }
    const std::lock_guard lock(job.mutex);
    job.outcome = std::move(outcome);
}

void PhraseMapper::poll()
{
    std::optional<Outcome> outcome;
    {
        const std::lock_guard lock(m_job->mutex);
        if (m_job->outcome) {
            outcome.emplace(std::move(*m_job->outcome));
            m_job->outcome.reset();
        }
    }
    if (!outcome) {
        const double fraction = m_job->fractionDone.load(std::memory_order_relaxed);
        if (fraction != m_reportedFraction) {
            m_reportedFraction = fraction;
            emit progressed(m_path, fraction);
        }
        return;
    }
    m_poll.stop();
    m_thread.join();  // it has said its last word
    // A receiver may start the next map from these signals.
    const QString path = m_path;
    if (outcome->map)
        emit mapped(path, *outcome->map);
    else
        emit failed(path, outcome->error);
}
