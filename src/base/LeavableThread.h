#pragma once

#include "base/Threads.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// A thread of ours whose work reads files, and so may block in a read that
// does not come back for a long while (a network share or a disk that
// stopped answering). Whoever stops it waits only a little: one still busy
// then is let go to end by itself, so that the window thread never waits on a
// file. Work let go must use nothing its owner destroys: it owns what it
// uses, or its owner hands that over (see letGo()).
class LeavableThread {
public:
    LeavableThread() = default;
    // Starts `work` as startThread() does.
    template <typename Work>
    LeavableThread(const char* what, const char* name, Work work);
    // Joins a thread not let go (ask its work to end first).
    ~LeavableThread();
    LeavableThread(LeavableThread&&) noexcept = default;
    // Only onto one not running.
    LeavableThread& operator=(LeavableThread&& other) noexcept;

    // How long a stop waits for a thread that looks for it between reads: a
    // read takes well under this even on a busy machine.
    static constexpr std::chrono::milliseconds stopPatience{250};

    bool running() const { return m_thread.joinable(); }
    // Waits up to `patience` for the work to end, and joins the thread if it
    // has. True when no thread runs any more.
    bool endedWithin(std::chrono::milliseconds patience);
    // Waits for the end for good, if the thread runs and was not let go.
    void join();
    // Lets a running thread go: it ends by itself, and `remains` (what its
    // work still uses) is destroyed on it once the work is over, or here if
    // it already is.
    void letGo(std::shared_ptr<void> remains = {});
    // Once asked to end: waits stopPatience for it, else lets it go.
    void endOrLetGo();

    // How many threads let go still run.
    static int stillRunningLetGo();
    // Waits up to `patience` for the threads let go to end; true when none
    // runs any more. Also run at exit, so that work let go just before does
    // not run on while the program's statics are destroyed.
    static bool letGoEndedWithin(std::chrono::milliseconds patience);

private:
    struct End {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;                // guarded by mutex
        bool letGo = false;               // guarded by mutex
        std::shared_ptr<void> remains;    // guarded by mutex; destroyed on the thread
    };
    static void finish(End& end);

    std::shared_ptr<End> m_end;
    std::thread m_thread;
};

template <typename Work>
LeavableThread::LeavableThread(const char* what, const char* name, Work work)
    : m_end(std::make_shared<End>())
    , m_thread(startThread(what, name, [end = m_end, work = std::move(work)]() mutable {
        {
            // Gone, with all it holds, before the thread counts as ended.
            Work done = std::move(work);
            done();
        }
        finish(*end);
    }))
{
}
