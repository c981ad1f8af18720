#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Reads of the streams open now (and with opensToo, opens as well) hang
// (DecodeStream::stallReadsForTesting) for as long as this lives, or at most
// `limitSeconds`: code that waits on such a read then fails its test on time
// instead of hanging it.
class HungReads {
public:
    explicit HungReads(int limitSeconds = 3, bool opensToo = false);
    ~HungReads();
    HungReads(const HungReads&) = delete;
    HungReads& operator=(const HungReads&) = delete;

    // Ends the hang now.
    void release();

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_done = false;  // guarded by m_mutex
    std::thread m_limit;
};
