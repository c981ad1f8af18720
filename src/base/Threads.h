#pragma once

#include "base/SystemErrorText.h"

#include <thread>

// Called wherever the program starts a thread of its own. A test that is run
// as single-threaded (RIVETONE_SINGLE_THREADED_TEST set) stops here with a
// fatal error naming what started one, so it cannot escape the thread
// sanitizer run by mistake.
void noteThreadStart(const char* what);

// Names the calling thread (at most 15 bytes, "rivetone ..."), so that top,
// a debugger and the tests that count wake-ups can tell our threads apart.
void nameThisThread(const char* name);

// Starts one of our threads: noted as above (`what` names it in the error),
// and named `name` before it runs `work`.
template <typename Work>
std::thread startThread(const char* what, const char* name, Work work)
{
    noteThreadStart(what);
    return std::thread([name, work = std::move(work)]() mutable {
        nameThisThread(name);
        speakEnglishOnThisThread();
        work();
    });
}
