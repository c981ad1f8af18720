#include "ui/kit/FramePacer.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

FramePacer::FramePacer(QWidget* widget, std::function<void()> work)
    : m_widget(widget)
    , m_work(std::move(work))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { run(); });
}

int FramePacer::frameIntervalMilliseconds() const
{
    const QScreen* screen = m_widget ? m_widget->screen() : nullptr;
    const qreal rate = screen ? screen->refreshRate() : 0;
    return int(std::ceil(1000.0 / (rate >= 1 ? rate : 60.0)));
}

void FramePacer::request()
{
    if (m_timer.isActive())
        return;
    const qint64 sinceLast = m_sinceLastRun.isValid() ? m_sinceLastRun.elapsed() : INT64_MAX;
    m_timer.start(int(std::max<qint64>(0, frameIntervalMilliseconds() - std::min<qint64>(sinceLast, INT32_MAX))));
}

void FramePacer::run()
{
    m_sinceLastRun.start();
    m_work();
}
