#include "WidgetTesting.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSpontaneKeyEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

QImage renderOnWhite(QWidget& widget, qreal devicePixelRatio)
{
    const QSize size = widget.size() * devicePixelRatio;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QColor colourAt(const QImage& image, const QPointF& point)
{
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(int(std::floor(point.x() * dpr)), int(std::floor(point.y() * dpr)));
}

void sendMouse(QWidget& widget, QEvent::Type type, const QPointF& localPosition)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const QPointF global = widget.mapToGlobal(localPosition);
    QMouseEvent event(type, localPosition, localPosition, global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

bool isReddish(const QColor& colour)
{
    return colour.red() > 170 && colour.green() < 140 && colour.blue() < 140;
}

int pixelsIn(const QImage& image, const QRectF& rect, bool (*isOfKind)(const QColor&))
{
    int count = 0;
    const QRect pixels = rect.toAlignedRect().intersected(image.rect());
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            count += isOfKind(image.pixelColor(x, y));
    }
    return count;
}

int largestChannelDifference(const QImage& a, const QImage& b, const QRect& rect)
{
    if (a.size() != b.size())
        return 255;
    const QRect area = rect.isEmpty() ? a.rect() : rect;
    int largest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return largest;
}

PaintCounter::PaintCounter(QWidget& widget)
{
    widget.installEventFilter(this);
}

bool PaintCounter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        const QRegion& painted = static_cast<QPaintEvent*>(event)->region();
        ++count;
        if (painted.boundingRect().contains(static_cast<QWidget*>(watched)->rect()))
            ++wholeCount;
        region += painted;
    }
    return false;
}

EventTap::EventTap(QObject& target, QEvent::Type type, std::function<void(QObject*, QEvent*)> onEvent)
    : m_type(type)
    , m_onEvent(std::move(onEvent))
{
    target.installEventFilter(this);
}

bool EventTap::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == m_type)
        m_onEvent(watched, event);
    return false;
}

void holdKeyAsX11Does(QWindow* window, int key, const QString& text, int repeats)
{
    constexpr quint32 scanCode = 36;
    static quint64 timestamp = 1'000'000;
    const auto send = [&](QEvent::Type type) {
        QKeyEvent event(type, key, Qt::NoModifier, scanCode, 0, 0, text);
        event.setTimestamp(timestamp);
        QSpontaneKeyEvent::setSpontaneous(&event);
        QCoreApplication::instance()->notify(window, &event);
    };
    send(QEvent::KeyPress);
    for (int i = 0; i < repeats; ++i) {
        timestamp += 33;
        send(QEvent::KeyRelease);
        send(QEvent::KeyPress);
    }
    timestamp += 40;
    send(QEvent::KeyRelease);
    timestamp += 1000;
}
