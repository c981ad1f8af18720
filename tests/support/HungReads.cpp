#include "HungReads.h"

#include "engine/DecodeStream.h"

#include <chrono>

HungReads::HungReads(int limitSeconds, bool opensToo)
{
    DecodeStream::stallReadsForTesting(true, opensToo);
    m_limit = std::thread([this, limitSeconds] {
        std::unique_lock lock(m_mutex);
        m_released.wait_for(lock, std::chrono::seconds(limitSeconds), [this] { return m_done; });
        DecodeStream::stallReadsForTesting(false);
    });
}

HungReads::~HungReads()
{
    release();
    m_limit.join();
}

void HungReads::release()
{
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_released.notify_all();
    // Released here as well, so that the reads go on before this returns.
    DecodeStream::stallReadsForTesting(false);
}
