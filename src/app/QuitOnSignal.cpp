#include "app/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int quittingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write a byte: the event loop reads it.
std::atomic<int> handlerWriteEnd{-1};

// One stop is often told twice: `timeout` signals its child and then the
// child's group, a service manager the process and then its group. The same
// signal again within this time is that stop; later, it is someone who has
// waited for the quit long enough.
constexpr std::int64_t sameStopNanoseconds = 2'000'000'000;
// Per signal: when it first came (CLOCK_MONOTONIC); 0: not yet.
std::atomic<std::int64_t> firstCameNs[std::size(quittingSignals)] = {};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

std::int64_t monotonicNs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent)
    : QObject(parent)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0)
        return;  // the default actions stay
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    handlerWriteEnd = m_writeEnd;
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitOnSignal::quit);
    struct sigaction action = {};
    action.sa_handler = &QuitOnSignal::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A signal the caller chose to ignore stays ignored: started with nohup,
    // or in the background of a script, closing its terminal must not end
    // the lesson.
    static_assert(std::size(quittingSignals) == handledSignals);
    for (std::size_t i = 0; i < std::size(quittingSignals); ++i) {
        struct sigaction previous = {};
        if (::sigaction(quittingSignals[i], nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        m_taken[i] = ::sigaction(quittingSignals[i], &action, nullptr) == 0;
    }
}

QuitOnSignal::~QuitOnSignal()
{
    if (m_readEnd < 0)
        return;
    for (std::size_t i = 0; i < std::size(quittingSignals); ++i)
        if (m_taken[i])
            ::signal(quittingSignals[i], SIG_DFL);
    handlerWriteEnd = -1;
    m_notifier.reset();
    ::close(m_readEnd);
    ::close(m_writeEnd);
}

void QuitOnSignal::handle(int signal)
{
    const int savedErrno = errno;
    const auto* kind = std::find(std::begin(quittingSignals), std::end(quittingSignals), signal);
    if (kind != std::end(quittingSignals)) {
        std::atomic<std::int64_t>& firstCame = firstCameNs[kind - std::begin(quittingSignals)];
        const std::int64_t now = monotonicNs();
        std::int64_t first = 0;
        if (!firstCame.compare_exchange_strong(first, now) && now - first >= sameStopNanoseconds) {
            // Asked again, after a while: ended at once, as by default.
            struct sigaction byDefault = {};
            byDefault.sa_handler = SIG_DFL;
            ::sigaction(signal, &byDefault, nullptr);
            ::raise(signal);
        }
    }
    const char byte = 1;
    const int end = handlerWriteEnd.load();
    if (end >= 0) {
        // A full pipe already holds a byte to wake the loop: nothing is lost.
        const ssize_t written = ::write(end, &byte, 1);
        static_cast<void>(written);
    }
    errno = savedErrno;
}

void QuitOnSignal::quit()
{
    char bytes[16];
    while (::read(m_readEnd, bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
}
