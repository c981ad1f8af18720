#pragma once

#include "ui/kit/Binding.h"

#include <QEasingCurve>
#include <QElapsedTimer>
#include <QObject>
#include <QVariantAnimation>

// The transport buttons' answer to a press: their shared scale eases down to
// pressedScale, and a moment later eases back to 1. Every press schedules its
// own return, and none is cancelled, so a burst of presses ends at 1 after
// the last one.
class PressFeedback : public QObject {
    Q_OBJECT

public:
    static constexpr double pressedScale = 0.9;
    static constexpr double restingScale = 1.0;
    static constexpr int easeMilliseconds = 100;
    static constexpr int restoreDelayMilliseconds = 100;

    explicit PressFeedback(Binding<double> scale, QObject* parent = nullptr);

    void run();

    // The ease-in-ease-out timing curve of every change of the scale.
    static QEasingCurve easing();

private:
    void animateTo(double target);

    Binding<double> m_scale;
    QEasingCurve m_easing;
    QVariantAnimation m_animation;
    QElapsedTimer m_clock;  // since the running animation started
};
