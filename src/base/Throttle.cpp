#include "base/Throttle.h"

#include <algorithm>
#include <cstdint>

Throttle::Throttle(std::function<void()> work)
    : m_work(std::move(work))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { runNow(); });
}

int Throttle::delayFor(int intervalMilliseconds) const
{
    const qint64 sinceLast = m_sinceLastRun.isValid() ? m_sinceLastRun.elapsed() : INT64_MAX;
    return int(std::max<qint64>(0, intervalMilliseconds - std::min<qint64>(sinceLast, intervalMilliseconds)));
}

void Throttle::request(int intervalMilliseconds)
{
    if (!m_timer.isActive())
        m_timer.start(delayFor(intervalMilliseconds));
}

void Throttle::hurry(int intervalMilliseconds)
{
    const int delay = delayFor(intervalMilliseconds);
    if (m_timer.isActive() && m_timer.remainingTime() > delay)
        m_timer.start(delay);
}

void Throttle::runNow()
{
    m_timer.stop();
    m_sinceLastRun.start();
    m_work();
}
