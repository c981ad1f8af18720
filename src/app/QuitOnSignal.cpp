#include "app/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int quittingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write a byte: the event loop reads it.
std::atomic<int> handlerWriteEnd{-1};

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
    action.sa_flags = SA_RESTART | SA_RESETHAND;
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

void QuitOnSignal::handle(int)
{
    const int savedErrno = errno;
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
