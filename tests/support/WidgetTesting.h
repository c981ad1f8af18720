#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRegion>

#include <functional>

class QWidget;
class QWindow;

// Helpers for tests that look at widgets the way a user does: their pictures
// and the pointer.

// The widget painted on white, at the given device pixel ratio.
QImage renderOnWhite(QWidget& widget, qreal devicePixelRatio = 1.0);

// The colour at a point of the image in device-independent coordinates.
QColor colourAt(const QImage& image, const QPointF& point);

// Sends one left-button mouse event at a local position (fractions allowed).
// For a move, the left button is reported as held.
void sendMouse(QWidget& widget, QEvent::Type type, const QPointF& localPosition);

bool isReddish(const QColor& colour);

// A key held down as X11 often delivers it: the press, then for each repeat
// a release and a press of one time stamp, none of them marked as a repeat
// (Qt marks them only when it finds the press queued in time). Sent to the
// window as the platform would.
void holdKeyAsX11Does(QWindow* window, int key, const QString& text, int repeats);

// How many pixels of a rect of the image (in its own pixels) are of a kind.
int pixelsIn(const QImage& image, const QRectF& rect, bool (*isOfKind)(const QColor&));

// The largest difference of a colour channel (alpha included) between two
// images of one size within rect (all of them when rect is empty); 255 when
// their sizes differ.
int largestChannelDifference(const QImage& a, const QImage& b, const QRect& rect = {});

// Counts the paint events one widget receives, and the region they cover, for
// tests of what repaints.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget);
    int count = 0;
    int wholeCount = 0;  // of them, the paints of all of the widget
    QRegion region;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Calls back on each event of one type that an object receives, while it lives.
class EventTap : public QObject {
public:
    EventTap(QObject& target, QEvent::Type type, std::function<void(QObject* receiver, QEvent* event)> onEvent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QEvent::Type m_type;
    std::function<void(QObject*, QEvent*)> m_onEvent;
};
