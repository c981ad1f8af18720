#include "engine/PhraseMapper.h"

#include "base/Log.h"
#include "base/Threads.h"
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
    m_stop = false;
    m_fractionDone = 0;
    m_reportedFraction = -1;
    m_thread = startThread("PhraseMapper", "rivetone phrase", [this, path] { work(path); });
    m_poll.start();
}

void PhraseMapper::cancel()
{
    m_poll.stop();
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
    m_outcome.reset();  // a word not yet polled for is dropped; no worker runs now
}

// Worker thread.
void PhraseMapper::work(const QString& path)
{
    const PhraseMapCache cache(m_cacheDirectory);
    // Taken before decoding: a file that changes meanwhile is mapped again
    // next time, as its entry describes the older version.
    const PhraseMapCache::FileIdentity identity = PhraseMapCache::identify(path);
    Outcome outcome;
    std::optional<LoudnessEnvelope> envelope = cache.load(identity);
    if (!envelope) {
        QString readFailure;
        envelope = LoudnessScan::run(
            path,
            [this](double fractionDone) {
                m_fractionDone.store(fractionDone, std::memory_order_relaxed);
                return !m_stop.load(std::memory_order_relaxed);
            },
            &outcome.error, &readFailure);
        if (m_stop)
            return;
        // A read that failed partway maps what came before it, for now; kept,
        // that part would stand for the whole file until the file changed.
        QString error = readFailure;
        if (envelope && (!readFailure.isEmpty() || !cache.store(identity, *envelope, &error)))
            Log::line(QStringLiteral("Phrase map of %1 not cached: %2").arg(path, error));
    }
    if (envelope) {
        std::vector<Phrase> phrases = PhraseFinder(m_settings).find(envelope->levelsDecibels, envelope->durationSeconds);
        outcome.map = PhraseMap(std::move(envelope->levelsDecibels), envelope->durationSeconds, std::move(phrases));
    }
    const std::lock_guard lock(m_mutex);
    m_outcome = std::move(outcome);
}

void PhraseMapper::poll()
{
    std::optional<Outcome> outcome;
    {
        const std::lock_guard lock(m_mutex);
        if (m_outcome) {
            outcome.emplace(std::move(*m_outcome));
            m_outcome.reset();
        }
    }
    if (!outcome) {
        const double fraction = m_fractionDone.load(std::memory_order_relaxed);
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
