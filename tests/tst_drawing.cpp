#include "ui/kit/Backdrop.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/Gradient.h"
#include "ui/kit/GradientCapsulePainter.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shadow.h"
#include "ui/kit/Shapes.h"
#include "WidgetTesting.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

QImage painted(int width, int height, const std::function<void(QPainter&)>& paint, qreal devicePixelRatio = 1.0)
{
    QImage image(QSize(width, height) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paint(painter);
    }
    return image;
}

// How much darker than white a pixel is (0 white, 255 black).
int darkness(const QImage& image, int x, int y)
{
    return 255 - qGray(image.pixel(x, y));
}

// The surface drawn into a white image, only within part.
QImage renderedPart(QWidget& surface, const QRegion& part)
{
    QImage image(surface.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    surface.render(&image, part.boundingRect().topLeft(), part, QWidget::RenderFlags());
    return image;
}

// A surface with a card on it, in a plain widget that moves the card along.
struct CardOnSurface {
    CardOnSurface(LinearGradient gradient, QSize size, QRect cardPlace)
        : surface(std::move(gradient))
        , holder(&surface)
        , card(&holder)
    {
        surface.resize(size);
        holder.setGeometry(QRect(QPoint(), size));
        card.setGeometry(cardPlace);
        surface.addCard(&card, CardStyle::standard());
    }
    Backdrop surface;
    QWidget holder;
    QWidget card;
};

}  // namespace

class DrawingTest : public QObject {
    Q_OBJECT

private slots:
    void cornersEaseOutOfTheEdgesAndShortSidesGetRoundEnds()
    {
        // Just short of one radius from the corner a circular corner has nearly
        // met the edge; the continuous one is still further in.
        const QPainterPath continuous = Shapes::roundedRect(QRectF(0, 0, 1000, 600), 100);
        QPainterPath circular;
        circular.addRoundedRect(QRectF(0, 0, 1000, 600), 100, 100);
        QVERIFY(circular.contains(QPointF(910, 1)) && !continuous.contains(QPointF(910, 1)));
        QVERIFY(continuous.contains(QPointF(835, 0.05)));

        // A 12-high bar with radius 6 has no room for easing: half circles.
        const QPainterPath bar = Shapes::roundedRect(QRectF(0, 0, 100, 12), 6);
        for (int degrees = 100; degrees <= 260; degrees += 20) {
            const QPointF direction(std::cos(degrees * M_PI / 180), -std::sin(degrees * M_PI / 180));
            QVERIFY(bar.contains(QPointF(6, 6) + 5.8 * direction));
            QVERIFY(!bar.contains(QPointF(6, 6) + 6.2 * direction));
        }
        QCOMPARE(Shapes::roundedRect(QRectF(0, 0, 100, 12), 50).boundingRect(), QRectF(0, 0, 100, 12));
        QVERIFY(Shapes::roundedRect(QRectF(0, 0, 0, 12), 6).isEmpty());
    }

    // The bar's fill is painted row by row instead of through the painter's
    // path fill, as it changes at every frame of a drill. It must look the
    // same: the gradient along its length, the round ends smoothed alike,
    // at any length, place and pixel ratio, and over one fill drawn before.
    void aGradientCapsuleLooksLikeThePathFillOfIt_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QTransform>("transform");
        // Where the path fill's chords fall short of a small round end, its
        // edge pixels differ more; on a large one the chords are finer.
        QTest::addColumn<int>("outlineLevels");
        const QTransform none;
        QTest::newRow("a long fill") << QRectF(10, 6, 300.4, 12) << 1.0 << none << 40;
        QTest::newRow("a fill just under its height") << QRectF(10, 6, 11.3, 12) << 1.0 << none << 40;
        QTest::newRow("a sliver of a fill") << QRectF(10, 6, 1.6, 12) << 1.0 << none << 40;
        QTest::newRow("between pixels") << QRectF(10.4, 6.7, 57.25, 12) << 1.0 << none << 40;
        QTest::newRow("twice as fine") << QRectF(10, 6, 120.3, 12) << 2.0 << none << 40;
        QTest::newRow("a fractional ratio") << QRectF(11, 7, 80.9, 12) << 1.25 << none << 40;
        QTest::newRow("moved by the painter") << QRectF(0, 0, 64.5, 12) << 1.5 << QTransform::fromTranslate(10.5, 6) << 40;
        QTest::newRow("turned, by the path") << QRectF(10, 0, 40, 12) << 1.0 << QTransform().rotate(10) << 40;
        QTest::newRow("tall, three times as fine") << QRectF(16.2, 4.1, 79.8, 24.7) << 3.0 << none << 12;
    }

    void aGradientCapsuleLooksLikeThePathFillOfIt()
    {
        QFETCH(QRectF, rect);
        QFETCH(qreal, ratio);
        QFETCH(QTransform, transform);
        QFETCH(int, outlineLevels);
        const QColor from = Palette::green();
        const QColor to = Palette::blue();
        const auto underneath = [&](QPainter& painter) {
            painter.fillRect(QRectF(0, 0, 160, 12), Palette::gray(0.5));
            painter.setTransform(transform);
        };
        const QImage expected = painted(340, 30, [&](QPainter& painter) {
            underneath(painter);
            painter.setRenderHint(QPainter::Antialiasing);
            const LinearGradient gradient{{from, to}, UnitPoint::leading(), UnitPoint::trailing()};
            painter.fillPath(Shapes::capsule(rect), gradient.brushIn(rect));
        }, ratio);
        GradientCapsulePainter capsule(from, to);
        // Used before for a larger one, as the bar's is at every frame.
        painted(340, 30, [&](QPainter& painter) { capsule.paint(painter, rect.adjusted(-5, -2, 40, 4)); }, ratio);
        const QImage actual = painted(340, 30, [&](QPainter& painter) {
            underneath(painter);
            capsule.paint(painter, rect);
        }, ratio);

        const QImage bare = painted(340, 30, underneath, ratio);

        // The painter's path fill cuts the round ends a little short (its
        // curves become chords), so pixels on the outline may differ more;
        // everywhere else the two agree to the level.
        const QRectF shape = (transform * QTransform::fromScale(ratio, ratio)).mapRect(rect);
        const qreal radius = std::min(shape.width(), shape.height()) / 2;
        const auto onOutline = [&](int x, int y) {
            const QPointF centre(x + 0.5, y + 0.5);
            const QPointF nearestOnSpine(std::clamp(centre.x(), shape.left() + radius, std::max(shape.left() + radius, shape.right() - radius)),
                                         std::clamp(centre.y(), shape.top() + radius, std::max(shape.top() + radius, shape.bottom() - radius)));
            return std::abs(QLineF(centre, nearestOnSpine).length() - radius) < 1.2;
        };
        int touched = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) {
                const QRgb e = expected.pixel(x, y);
                const QRgb a = actual.pixel(x, y);
                const int difference = std::max({std::abs(qRed(e) - qRed(a)), std::abs(qGreen(e) - qGreen(a)),
                                                 std::abs(qBlue(e) - qBlue(a))});
                touched += e != bare.pixel(x, y);
                const int allowed = onOutline(x, y) ? outlineLevels : 2;
                QVERIFY2(difference <= allowed,
                         qPrintable(QStringLiteral("(%1, %2): %3 for %4").arg(x).arg(y).arg(a, 8, 16).arg(e, 8, 16)));
            }
        QVERIFY2(touched > 0, "the reference shows the fill");
    }

    // Where rows of device pixels cannot stand for the shape (axes scaled
    // apart, a mode that would clear the image's empty corners, edges far off
    // the device), the path fill paints it, pixel for pixel; one thinner than
    // a speck paints nothing, as the path fill does.
    void aGradientCapsuleItCannotPaintRowByRowIsPaintedAsAPath_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QTransform>("transform");
        QTest::addColumn<int>("mode");
        const int over = QPainter::CompositionMode_SourceOver;
        QTest::newRow("stretched across") << QRectF(5, 2, 60, 12) << QTransform::fromScale(2, 1) << over;
        QTest::newRow("stretched down") << QRectF(5, 2, 60, 12) << QTransform::fromScale(1, 2) << over;
        QTest::newRow("replacing what is there") << QRectF(5, 5, 60, 12) << QTransform() << int(QPainter::CompositionMode_Source);
        QTest::newRow("from far off to the left") << QRectF(-3e9, 5, 3e9 + 60, 12) << QTransform() << over;
        QTest::newRow("to far off to the right") << QRectF(5, 5, 3e9, 12) << QTransform() << over;
        QTest::newRow("a hair's height") << QRectF(5, 5, 60, 1e-20) << QTransform() << over;
        QTest::newRow("taller than the rows") << QRectF(5, 0, 40, 200) << QTransform() << over;
    }

    void aGradientCapsuleItCannotPaintRowByRowIsPaintedAsAPath()
    {
        QFETCH(QRectF, rect);
        QFETCH(QTransform, transform);
        QFETCH(int, mode);
        const auto prepared = [&](QPainter& painter) {
            painter.fillRect(QRectF(0, 0, 160, 12), Palette::gray(0.5));
            painter.setTransform(transform);
            painter.setCompositionMode(QPainter::CompositionMode(mode));
        };
        const QImage expected = painted(200, 220, [&](QPainter& painter) {
            prepared(painter);
            painter.setRenderHint(QPainter::Antialiasing);
            const LinearGradient gradient{{Palette::green(), Palette::blue()}, UnitPoint::leading(), UnitPoint::trailing()};
            painter.fillPath(Shapes::capsule(rect), gradient.brushIn(rect));
        });
        GradientCapsulePainter capsule(Palette::green(), Palette::blue());
        const QImage actual = painted(200, 220, [&](QPainter& painter) {
            prepared(painter);
            capsule.paint(painter, rect);
        });
        QCOMPARE(actual, expected);
    }

    // The surface keeps its picture for the small repaints of playing. Moved
    // with its parent, a card sends no event of its own; a small repaint
    // shows it where it is now all the same, as a whole paint would.
    void aSmallRepaintShowsTheCardsWhereTheyAreNow()
    {
        CardOnSurface s(LinearGradient{{Qt::white, Palette::blue(0.3)}, UnitPoint::topLeading(), UnitPoint::bottomTrailing()},
                        {300, 200}, {20, 20, 100, 60});
        Backdrop& surface = s.surface;
        const QRect band(0, 10, 300, 140);  // both places of the card and their shadows

        const QImage whole = renderedPart(surface, surface.rect());
        QVERIFY(darkness(whole, 70, 50) < darkness(whole, 200, 50));  // a card where it was put
        QVERIFY(largestChannelDifference(renderedPart(surface, band), whole, band) <= 2);  // the kept picture
        s.holder.move(100, 50);
        const QImage small = renderedPart(surface, band);
        const QImage movedWhole = renderedPart(surface, surface.rect());
        QVERIFY(largestChannelDifference(movedWhole, whole, band) > 20);  // the card did move
        QVERIFY(largestChannelDifference(small, movedWhole, band) <= 2);
        s.card.hide();
        QVERIFY(largestChannelDifference(renderedPart(surface, band), renderedPart(surface, surface.rect()), band) <= 2);
    }

    // On a window's surface the bar paints what lies beneath it itself (a
    // repaint of its fill then leaves the window alone): what it paints on
    // its own is what the window shows there, after it moved with its card
    // too. On a surface that is not a window it cannot know what shows
    // through, and leaves it to what lies beneath.
    void aBarOnAWindowsSurfacePaintsWhatLiesBeneathIt()
    {
        CardOnSurface s(LinearGradient{{Qt::black, Qt::white}, UnitPoint::topLeading(), UnitPoint::bottomTrailing()},
                        {400, 240}, {20, 20, 300, 80});
        Backdrop& surface = s.surface;
        CustomProgressBar bar(&s.card);
        double seconds = 3;
        bar.setCurrentTime({[&] { return seconds; }, [&](double s) { seconds = s; }});
        bar.setDuration(10);
        bar.setGeometry(10, 20, 260, bar.sizeHint().height());
        surface.show();
        QVERIFY(QTest::qWaitForWindowExposed(&surface));
        QVERIFY(bar.testAttribute(Qt::WA_OpaquePaintEvent));

        // The window as the toolkit paints it when the bar does not paint
        // what lies beneath.
        const auto windowAtBar = [&] {
            bar.setAttribute(Qt::WA_OpaquePaintEvent, false);
            QImage image(surface.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::red);
            surface.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
            bar.setAttribute(Qt::WA_OpaquePaintEvent, true);
            return image.copy(QRect(bar.mapTo(&surface, QPoint()), bar.size()));
        };
        const auto barOnRed = [&](const QRect& part) {
            QImage image(bar.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::red);
            bar.render(&image, part.topLeft(), QRegion(part), QWidget::RenderFlags());
            return image;
        };
        const QImage before = windowAtBar();
        QVERIFY(largestChannelDifference(barOnRed(bar.rect()), before) <= 2);

        s.holder.move(80, 140);
        seconds = 6;
        const QRect fillPart(0, 0, bar.width() * 3 / 4, bar.height());  // a repaint of part of it
        const QImage moved = windowAtBar();
        QVERIFY(largestChannelDifference(moved, before, fillPart) > 10);  // another place under the gradient
        QVERIFY(largestChannelDifference(barOnRed(fillPart), moved, fillPart) <= 2);

        QWidget outer;
        Backdrop inner(LinearGradient{{Qt::black, Qt::white}, UnitPoint::top(), UnitPoint::bottom()}, &outer);
        CustomProgressBar barOnAPart(&inner);
        outer.show();
        QVERIFY(!barOnAPart.testAttribute(Qt::WA_OpaquePaintEvent));
    }

    void shadowIsSoftAndFollowsItsOffset()
    {
        ShadowCache cache;
        const QImage image = painted(120, 120, [&cache](QPainter& p) {
            QPainterPath square;
            square.addRect(40, 40, 40, 40);
            cache.draw(p, square, {Palette::black(0.5), 8, {0, 6}});
        });
        // Darkest under the shape; outside it fades out.
        QVERIFY(darkness(image, 60, 60) > darkness(image, 60, 86));
        QVERIFY(darkness(image, 60, 86) > darkness(image, 60, 92));
        QVERIFY(darkness(image, 60, 92) > 0);
        QCOMPARE(darkness(image, 60, 110), 0);
        QVERIFY(darkness(image, 60, 84) > darkness(image, 60, 36) + 20);
    }

    void shadowsAreBlurredOnceAndReused()
    {
        ShadowCache cache;
        const ShadowStyle style{Palette::black(0.2), 5, {2, 2}};
        const QPainterPath circle = Shapes::circle(QRectF(20, 20, 50, 50));
        painted(200, 200, [&](QPainter& p) {
            cache.draw(p, circle, style);
            cache.draw(p, circle.translated(60, 70), style);
            cache.draw(p, circle, {style.color, style.radius, {-2, -2}});
        });
        QCOMPARE(cache.blurCount(), 1);
        // Another colour, radius, shape or pixel ratio is another shadow.
        painted(200, 200, [&](QPainter& p) {
            cache.draw(p, circle, {Palette::white(0.7), 5, {}});
            cache.draw(p, circle, {style.color, 10, {}});
            cache.draw(p, Shapes::circle(QRectF(20, 20, 60, 60)), style);
        });
        painted(100, 100, [&](QPainter& p) { cache.draw(p, circle, style); }, 2.0);
        QCOMPARE(cache.blurCount(), 5);
        QCOMPARE(cache.entryCount(), 5);
    }

    void shadowCacheKeepsToItsBudget()
    {
        // 50 to 60 KiB per shadow of these squares: 120 KiB hold two.
        ShadowCache cache(120 * 1024);
        painted(400, 400, [&cache](QPainter& p) {
            for (int size = 100; size < 110; ++size) {
                QPainterPath square;
                square.addRect(0, 0, size, size);
                cache.draw(p, square, {Palette::black(0.3), 4, {}});
            }
            QCOMPARE(cache.entryCount(), 2);
            // Larger than the whole budget: never made, rather than blurred on every paint.
            QPainterPath huge;
            huge.addRect(0, 0, 390, 390);
            cache.draw(p, huge, {Palette::black(0.3), 4, {}});
            cache.draw(p, huge, {Palette::black(0.3), 4, {}});
        });
        QCOMPARE(cache.blurCount(), 10);
    }
};

QTEST_MAIN(DrawingTest)
#include "tst_drawing.moc"
