#include "base/LeavableThread.h"

#include <cstdlib>
#include <utility>

namespace {

// How long the program's end waits for threads let go: a read that hangs
// for good must not keep a quit program in the process list for long.
constexpr std::chrono::milliseconds exitPatience{1000};

struct LetGo {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;  // guarded by mutex
};

// Never destroyed: a thread let go may end after the statics are.
LetGo& letGoThreads()
{
    static auto* threads = new LetGo;
    return *threads;
}

void waitAtExit()
{
    LeavableThread::letGoEndedWithin(exitPatience);
}

}  // namespace

LeavableThread::~LeavableThread()
{
    join();
}

void LeavableThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

LeavableThread& LeavableThread::operator=(LeavableThread&& other) noexcept
{
    join();
    m_end = std::move(other.m_end);
    m_thread = std::move(other.m_thread);
    return *this;
}

void LeavableThread::finish(End& end)
{
    std::shared_ptr<void> remains;
    bool wasLetGo = false;
    {
        std::lock_guard lock(end.mutex);
        end.done = true;
        wasLetGo = end.letGo;
        remains = std::move(end.remains);
    }
    end.ended.notify_all();
    remains.reset();  // on this thread, after the work that used it
    if (wasLetGo) {
        LetGo& threads = letGoThreads();
        {
            std::lock_guard lock(threads.mutex);
            --threads.running;
        }
        threads.ended.notify_all();
    }
}

bool LeavableThread::endedWithin(std::chrono::milliseconds patience)
{
    if (!m_thread.joinable())
        return true;
    {
        std::unique_lock lock(m_end->mutex);
        if (!m_end->ended.wait_for(lock, patience, [this] { return m_end->done; }))
            return false;
    }
    m_thread.join();
    return true;
}

void LeavableThread::letGo(std::shared_ptr<void> remains)
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_end->mutex);
        if (!m_end->done) {
            {
                LetGo& threads = letGoThreads();
                std::lock_guard counting(threads.mutex);
                if (threads.running++ == 0) {
                    static std::once_flag registered;
                    std::call_once(registered, [] { std::atexit(waitAtExit); });
                }
            }
            m_end->letGo = true;
            m_end->remains = std::move(remains);
            m_thread.detach();
            return;
        }
    }
    // It ended meanwhile: nothing is left to wait for.
    m_thread.join();
}

void LeavableThread::endOrLetGo()
{
    if (!endedWithin(stopPatience))
        letGo();
}

int LeavableThread::stillRunningLetGo()
{
    LetGo& threads = letGoThreads();
    std::lock_guard lock(threads.mutex);
    return threads.running;
}

bool LeavableThread::letGoEndedWithin(std::chrono::milliseconds patience)
{
    LetGo& threads = letGoThreads();
    std::unique_lock lock(threads.mutex);
    return threads.ended.wait_for(lock, patience, [&] { return threads.running == 0; });
}
