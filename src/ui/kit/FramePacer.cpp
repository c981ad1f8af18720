#include "ui/kit/FramePacer.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

class FramePacer::InputWatch : public QObject {
public:
    explicit InputWatch(FramePacer& pacer)
        : m_pacer(pacer)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
            m_pacer.noteInteraction();
            break;
        case QEvent::MouseMove:
            // Hovering changes nothing the pacer shows; a drag does.
            if (static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton)
                m_pacer.noteInteraction();
            break;
        default:
            break;
        }
        return false;
    }

private:
    FramePacer& m_pacer;
};

FramePacer::FramePacer(QWidget* widget, std::function<void()> work)
    : m_widget(widget)
    , m_throttle(std::move(work))
    , m_inputWatch(std::make_unique<InputWatch>(*this))
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(m_inputWatch.get());
}

void FramePacer::watchInputFirst()
{
    // Installed again, a filter acts as if installed last, which is first.
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(m_inputWatch.get());
}

// The watch goes before the throttle, and the application drops a deleted filter.
FramePacer::~FramePacer() = default;

int FramePacer::screenFrameMilliseconds() const
{
    const QScreen* screen = m_widget ? m_widget->screen() : nullptr;
    const qreal rate = screen ? screen->refreshRate() : 0;
    return int(std::ceil(1000.0 / (rate >= 1 ? rate : 60.0)));
}

int FramePacer::frameIntervalMilliseconds() const
{
    const int screenFrame = screenFrameMilliseconds();
    if (m_sinceInteraction.isValid() && m_sinceInteraction.elapsed() < handHeldMilliseconds)
        return screenFrame;
    return std::max(screenFrame, int(std::ceil(1000.0 / motionFramesPerSecond)));
}

// Asked at every engine tick: the interval (a walk to the widget's screen)
// is worked out only when no frame is waiting.
void FramePacer::request()
{
    if (!m_throttle.isWaiting())
        m_throttle.request(frameIntervalMilliseconds());
}

// A frame already waiting at the slower rate is brought forward: what the
// hand did shows at the screen's next frame.
void FramePacer::noteInteraction()
{
    m_sinceInteraction.start();
    m_throttle.hurry(screenFrameMilliseconds());
}
