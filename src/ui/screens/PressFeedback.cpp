#include "ui/screens/PressFeedback.h"

#include <QPointF>
#include <QTimer>

#include <algorithm>

PressFeedback::PressFeedback(Binding<double> scale, QObject* parent)
    : QObject(parent)
    , m_scale(std::move(scale))
    , m_easing(easing())
{
    m_animation.setDuration(easeMilliseconds);
    m_animation.setEasingCurve(m_easing);
    connect(&m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_scale.set(value.toDouble()); });
    // Interpolation may land a rounding step short; the rest is exact.
    connect(&m_animation, &QVariantAnimation::finished, this,
            [this] { m_scale.set(m_animation.endValue().toDouble()); });
}

QEasingCurve PressFeedback::easing()
{
    // Slow start, slow end: the control points of the usual ease-in-out curve.
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

void PressFeedback::run()
{
    animateTo(pressedScale);
    QTimer::singleShot(restoreDelayMilliseconds, Qt::PreciseTimer, this, [this] { animateTo(restingScale); });
}

// A new change starts from where the running one stands now by the clock,
// not from its last frame, which may lag when the machine is busy: the way
// back, which starts when the way down is due to end, starts from exactly
// pressedScale, and nothing ever jumps.
void PressFeedback::animateTo(double target)
{
    if (m_animation.state() == QAbstractAnimation::Running) {
        const double progress = std::min(1.0, double(m_clock.elapsed()) / m_animation.duration());
        const double from = m_animation.startValue().toDouble();
        const double to = m_animation.endValue().toDouble();
        m_animation.stop();
        m_scale.set(progress >= 1.0 ? to : from + (to - from) * m_easing.valueForProgress(progress));
    }
    m_animation.setStartValue(m_scale.get());
    m_animation.setEndValue(target);
    m_clock.start();
    m_animation.start();
}
