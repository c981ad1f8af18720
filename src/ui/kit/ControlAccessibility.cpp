#include "ui/kit/ControlAccessibility.h"

#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <cmath>
#include <functional>

namespace {

// A control with one value, which assistive tools read and set as a slider's.
class AccessibleValueControl : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    struct Value {
        std::function<double()> current;
        std::function<double()> minimum;
        std::function<double()> maximum;
        std::function<double()> step;  // 0: any value within the range
        std::function<void(double)> set;
    };

    AccessibleValueControl(QWidget* widget, Value value)
        : QAccessibleWidget(widget, QAccessible::Slider)
        , m_value(std::move(value))
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return m_value.current(); }
    void setCurrentValue(const QVariant& value) override
    {
        bool isNumber = false;
        const double number = value.toDouble(&isNumber);
        // NaN reads as a number; a control would take it for its top or
        // its start. Infinities go to an end, as a drag past it would.
        if (isNumber && !std::isnan(number))
            m_value.set(number);
    }
    QVariant maximumValue() const override { return m_value.maximum(); }
    QVariant minimumValue() const override { return m_value.minimum(); }
    QVariant minimumStepSize() const override { return m_value.step(); }

private:
    Value m_value;
};

QAccessibleInterface* progressBarInterface(CustomProgressBar* bar)
{
    return new AccessibleValueControl(bar, {[bar] { return bar->currentTime(); }, [] { return 0.0; },
                                            [bar] { return bar->duration(); }, [] { return 0.0; },
                                            [bar](double seconds) { bar->seekTo(seconds); }});
}

QAccessibleInterface* sliderInterface(CustomVerticalSlider* slider)
{
    return new AccessibleValueControl(slider, {[slider] { return double(slider->value()); },
                                               [slider] { return double(slider->range().lower); },
                                               [slider] { return double(slider->range().upper); },
                                               [slider] { return double(slider->step()); },
                                               [slider](double value) { slider->choose(float(value)); }});
}

// Asked once per class of the object's ancestry, most derived first; each
// control answers for its own class alone.
QAccessibleInterface* controlFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(CustomProgressBar::staticMetaObject.className()))
        if (auto* bar = qobject_cast<CustomProgressBar*>(object))
            return progressBarInterface(bar);
    if (className == QLatin1String(CustomVerticalSlider::staticMetaObject.className()))
        if (auto* slider = qobject_cast<CustomVerticalSlider*>(object))
            return sliderInterface(slider);
    return nullptr;
}

}  // namespace

void ControlAccessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(controlFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
